#include "bridgehost/ServiceHost.h"

#include "channel/ModuleInit.h"
#include "finder/TextUtil.h"

// The module sends the parameters as the classic FastWriter's text; they are read back with
// the classic Reader, the parser the page's parameters went through in the module.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

using channel::ChannelServer;

CWebKitServiceHost::CWebKitServiceHost(GMainContext* context) : m_server(context) {
    m_server.onWindowObjectCleared = [this](ChannelServer::ConnectionId id,
                                            const channel::WindowObjectCleared& message) {
        OnWindowObjectCleared(id, message);
    };
    m_server.onServiceCall = [this](ChannelServer::ConnectionId id,
                                    const channel::ServiceCall& call) { OnServiceCall(id, call); };
    m_server.onClosed = [this](ChannelServer::ConnectionId id) { OnClosed(id); };
}

CWebKitServiceHost::~CWebKitServiceHost() = default;

bool CWebKitServiceHost::Start() {
    return m_server.Listen();
}

bool CWebKitServiceHost::InstallScriptObject(void* owner, void* newUserData) {
    if (owner == nullptr) return false;
    userData = newUserData;
    return true;
}

ChannelServer::ConnectionId CWebKitServiceHost::ConnectionOf(std::uint64_t pageId) const {
    auto it = m_pageConnections.find(pageId);
    return it == m_pageConnections.end() ? 0 : it->second;
}

void CWebKitServiceHost::OnWindowObjectCleared(ChannelServer::ConnectionId id,
                                               const channel::WindowObjectCleared& message) {
    // A page that moved to a new web process is served by the newest connection.
    m_pageConnections[message.pageId] = id;
    if (onWindowObjectCleared) onWindowObjectCleared(message.pageId, message.mainFrame);
}

void CWebKitServiceHost::OnServiceCall(ChannelServer::ConnectionId id,
                                       const channel::ServiceCall& call) {
    m_pageConnections[call.pageId] = id;
    channel::ServiceAnswer answer;
    answer.callId = call.callId;
    // A page other than the one the main view shows (an old page still finishing in a web
    // process that is being replaced) gets no handler: it is not the user interface.
    if (handler != nullptr && call.pageId == m_mainPageId && m_mainPageId != 0 &&
        MainViewShowsOwnPage()) {
        std::u16string uri;
        std::u16string method;
        Utf8ToUtf16(call.uri, uri);
        Utf8ToUtf16(call.method, method);
        Json::Value params;
        Json::Reader reader;
        try {
            reader.parse(call.params, params);
        } catch (const std::exception&) {
            params = Json::Value();
        }
        Json::Value result;
        try {
            handler(uri, method, params, userData, result);
            answer.handled = true;
            answer.result = Json::FastWriter().write(result);
        } catch (const std::exception&) {
            // The handler failed half-way: the call is answered as not handled rather than
            // taking the user interface down.
            answer.handled = false;
            answer.result.clear();
        }
    }
    m_server.Send(id, answer);
}

void CWebKitServiceHost::OnClosed(ChannelServer::ConnectionId id) {
    for (auto it = m_pageConnections.begin(); it != m_pageConnections.end();) {
        it = it->second == id ? m_pageConnections.erase(it) : std::next(it);
    }
}

bool CWebKitServiceHost::MainViewShowsOwnPage() const {
    return !mainViewAddress || channel::IsInPageFolder(mainViewAddress(), PageFolder());
}

bool CWebKitServiceHost::CallPageFunction(const char* name, const std::string& utf8Argument) {
    if (name == nullptr || !MainViewShowsOwnPage()) return false;
    ChannelServer::ConnectionId id = ConnectionOf(m_mainPageId);
    if (id == 0) return false;
    return m_server.Send(id, channel::PageCall{m_mainPageId, name, utf8Argument});
}

bool CWebKitServiceHost::DeliverCompletion(std::int64_t outcome) {
    if (!MainViewShowsOwnPage()) return false;
    ChannelServer::ConnectionId id = ConnectionOf(m_mainPageId);
    if (id == 0) return false;
    return m_server.Send(id, channel::CallComplete{m_mainPageId, outcome});
}

namespace {

// <program folder>/<name>, or `name` alone when the program's file cannot be read.
std::string BesideProgram(const char* name) {
    gchar* program = g_file_read_link("/proc/self/exe", nullptr);
    if (program == nullptr) return name;
    gchar* folder = g_path_get_dirname(program);
    std::string result = std::string(folder) + "/" + name;
    g_free(folder);
    g_free(program);
    return result;
}

}  // namespace

std::string CWebKitServiceHost::ModuleFolder() {
    return BesideProgram("bridge");
}

std::string CWebKitServiceHost::PageFolder() {
    // Asked on every call and every call into the page; the program's file does not move.
    static const std::string folder = BesideProgram("Html");
    return folder;
}

GVariant* CWebKitServiceHost::NewModuleInitData() const {
    return channel::MakeModuleInitData(m_server.address(), m_server.secret(), PageFolder());
}
