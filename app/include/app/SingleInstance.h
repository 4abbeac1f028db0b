// One program per local storage folder. The engine keeps a page's local storage in one file
// per origin and each program's engine writes its whole copy back, so two programs on one
// folder would overwrite each other's settings and history. The first program on a folder
// holds a lock on a file in it for as long as it runs and listens on a small socket named
// after the folder; a later program on the same folder asks it to show its main window and
// ends. Programs on different folders never meet.
#pragma once

#include <glib.h>

#include <functional>
#include <map>
#include <string>

class CSingleInstance {
public:
    enum class Outcome {
        // The folder could not be locked (it cannot be written): nothing to protect.
        Alone,
        // This program holds the folder; ServeShowRequests answers later programs.
        First,
        // The program that holds the folder was asked to show its window.
        HandedOver,
        // Another program holds the folder but did not answer in time.
        NoAnswer,
    };

    CSingleInstance() = default;
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the folder, or asks its holder to show its window. Programs started at the same
    // moment settle it between them: one gets the lock, the others keep asking it until it
    // listens or `timeoutMs` has passed.
    Outcome Claim(const std::string& storageFolder, int timeoutMs = 10000);

    // While this program holds the folder, runs `onShow` from the GLib main loop of the
    // thread-default context for every later program that asks.
    void ServeShowRequests(std::function<void()> onShow);

    // The socket for `storageFolder`: in the user's runtime folder, named after a hash of the
    // folder, so that any length of folder name fits a socket address. The name never looks
    // like the channel's socket folders ("trawlet-" and six characters).
    static std::string SocketPath(const std::string& storageFolder);

private:
    bool Listen();
    void Accept();
    void Answer(int client);
    void CloseClient(int client);

    int m_lock = -1;
    int m_listener = -1;
    guint m_listenSource = 0;
    std::string m_socketPath;
    std::function<void()> m_onShow;
    // Connections that have not sent their request yet, with their read watch and their
    // time-out.
    std::map<int, std::pair<guint, guint>> m_clients;
};
