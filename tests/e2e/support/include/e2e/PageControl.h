#pragma once

// Driving a page through the loopback site. A page that runs PollScript() asks the site for
// the next command of its channel, evaluates it and reports the value; a test (or a benchmark)
// hands it scripts with Eval() and blocks until the answer comes back. Commands are numbered
// per channel and each is handed out once, so a page that is loaded again never runs an old
// command again, and pages of different runs listen on channels of their own.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/TestSite.h"
#include "e2e/Wait.h"

namespace e2e {

class PageControl {
public:
    // Routes the control path on `site`, which must outlive every Eval().
    explicit PageControl(TestSite& site);

    // Runs `script` in the page polling `channel` and answers the value of its last expression
    // as text (once settled, when it is a promise; "!exception:..." when it threw or was
    // rejected), or no value at the deadline.
    std::optional<std::string> Eval(const std::string& channel, const std::string& script,
                                    Millis timeout = kActionTimeout);

    // The polling loop for a page of `channel`; the page needs report() (from the site's
    // ReportScript()). An empty answer makes it wait `idle` before it asks again; after a
    // command it asks again at once.
    std::string PollScript(const std::string& channel, Millis idle = kPollInterval) const;

    // The script of a scanned page driven through `channel`: load(path) makes it load one more
    // image and report "loaded:<path>" when that is done; then the polling loop.
    std::string LoaderScript(const std::string& channel) const;

    // Whether a request the site answered is a page asking for its next command.
    static bool IsControlRequest(const Request& request);

private:
    struct Queue {
        std::vector<std::string> commands;
        size_t delivered = 0;
    };
    struct Shared {
        std::mutex mutex;
        std::map<std::string, Queue> channels;
    };

    TestSite& m_site;
    // Shared with the route, which runs on the site's thread.
    std::shared_ptr<Shared> m_shared;
};

// A JavaScript string literal that stands for `text`, whatever it holds.
std::string JsString(std::string_view text);

}  // namespace e2e
