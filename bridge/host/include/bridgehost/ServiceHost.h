// The UI process's side of the script service. The page's `service` object lives in the web
// process of the main window's page, inside the bridge module; this class is its counterpart
// in the main window (its `m_service`): it holds the service handler and its user data,
// receives the calls the module forwards, runs the handler and sends the result back, and
// sends the calls into the page.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "bridge/ServiceHandler.h"
#include "channel/ChannelServer.h"

class CWebKitServiceHost {
public:
    // Set by the owner before InstallScriptObject. A call that arrives while it is null is
    // answered as not handled (the page gets {"returnValue":0}).
    ServiceHandler handler = nullptr;
    // Handed to the handler unchanged on every call.
    void* userData = nullptr;

    // The address the main view shows now. The web process is the side a page can take over,
    // so the UI process checks for itself, on every call and every call into the page, that
    // the main view shows a document of the page folder; while it does not, calls are answered
    // as not handled and nothing is sent to the page. Unset: no such check (tests).
    std::function<std::string()> mainViewAddress;

    // Told of every fresh window object in a page of the module's process: the page id and
    // whether it is the main frame. The main window runs its window-object hook from here.
    std::function<void(std::uint64_t pageId, bool mainFrame)> onWindowObjectCleared;

    // Serves the channel from `context` (null: the thread-default main context).
    explicit CWebKitServiceHost(GMainContext* context = nullptr);
    ~CWebKitServiceHost();

    CWebKitServiceHost(const CWebKitServiceHost&) = delete;
    CWebKitServiceHost& operator=(const CWebKitServiceHost&) = delete;

    // Creates the private socket the modules connect to. Call once before the main web
    // context starts its first web process. False when the socket could not be made; the page
    // then still gets `service`, but every call answers {"returnValue":0}.
    bool Start();

    // The counterpart of the module's installation: records `userData` for the handler. There
    // is no script context in this process; the module has already installed `service` in
    // the frame. False when `owner` is null.
    bool InstallScriptObject(void* owner, void* userData);

    // The page the main view shows now (webkit_web_view_get_page_id). Only calls from this page
    // reach the handler, and calls into the page go to it. Set it when the view is made and
    // again whenever its "page-id" changes.
    void SetMainPageId(std::uint64_t pageId) { m_mainPageId = pageId; }
    std::uint64_t MainPageId() const { return m_mainPageId; }

    // Calls the global function `name` of the main page with one string argument (one-way:
    // the module runs it and reports script exceptions on its own standard error). False when
    // no module serves the main page or the message could not be queued.
    bool CallPageFunction(const char* name, const std::string& utf8Argument);

    // The completion message: the module hands the service's latest answer to "onSuccess"
    // (outcome 1) or "onFailure" (any other outcome), then "onResponse". False when no module
    // serves the main page.
    bool DeliverCompletion(std::int64_t outcome);

    // What the main web context needs to load the module: the folder to pass to
    // webkit_web_context_set_web_extensions_directory() (<program folder>/bridge) and the
    // initialisation data for webkit_web_context_set_web_extensions_initialization_user_data()
    // (a new floating GVariant "(sss)": socket address, secret, page folder; see
    // channel/ModuleInit.h).
    static std::string ModuleFolder();
    // The folder of the program's own page, <program folder>/Html.
    static std::string PageFolder();
    GVariant* NewModuleInitData() const;
    // The private folder of the socket, for webkit_web_context_add_path_to_sandbox() should
    // the web process run sandboxed.
    const std::string& SocketFolder() const { return m_server.directory(); }

    // The channel itself (tests hand it connected sockets).
    channel::ChannelServer& Server() { return m_server; }

private:
    void OnWindowObjectCleared(channel::ChannelServer::ConnectionId id,
                               const channel::WindowObjectCleared& message);
    void OnServiceCall(channel::ChannelServer::ConnectionId id, const channel::ServiceCall& call);
    void OnClosed(channel::ChannelServer::ConnectionId id);
    // False while mainViewAddress names something other than the program's page.
    bool MainViewShowsOwnPage() const;
    // 0 when no connection serves the page.
    channel::ChannelServer::ConnectionId ConnectionOf(std::uint64_t pageId) const;

    channel::ChannelServer m_server;
    std::uint64_t m_mainPageId = 0;
    std::map<std::uint64_t, channel::ChannelServer::ConnectionId> m_pageConnections;
};
