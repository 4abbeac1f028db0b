#pragma once

// The bare WebKitGTK view of the scan benchmark (bare_loader.cpp), fed addresses through a
// pipe; it writes one line per load.

#include <sys/types.h>

#include <optional>
#include <string>

#include "e2e/Wait.h"

class BareLoader {
public:
    // `program` is the bare loader's executable; it runs with private XDG folders and HOME.
    explicit BareLoader(std::string program);
    // Ends the loader with the engine's processes it started, and removes its folders.
    ~BareLoader();
    BareLoader(const BareLoader&) = delete;
    BareLoader& operator=(const BareLoader&) = delete;

    bool Start();
    // Loads the address and answers the load's time in milliseconds (NaN when it failed or
    // took too long).
    double Load(const std::string& address, e2e::Millis timeout);
    pid_t Pid() const { return m_pid; }

private:
    std::optional<std::string> ReadLine(e2e::Millis timeout);

    std::string m_program;
    std::string m_root;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};
