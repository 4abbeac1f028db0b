#include "e2e/PageControl.h"

namespace e2e {

namespace {

constexpr const char* kControlPath = "/ctl";

}  // namespace

PageControl::PageControl(TestSite& site) : m_site(site), m_shared(std::make_shared<Shared>()) {
    auto shared = m_shared;
    // A command goes out as "<number>\n<script>"; nothing to do is an empty answer. The page
    // may come from a file address, so the answer carries CORS headers.
    site.Route(kControlPath, [shared](const Request& request) {
        const std::string channel = QueryValue(request.path, "ch");
        std::string body;
        {
            std::lock_guard lock(shared->mutex);
            auto& queue = shared->channels[channel];
            if (queue.delivered < queue.commands.size()) {
                body = std::to_string(queue.delivered + 1) + "\n" + queue.commands[queue.delivered];
                ++queue.delivered;
            }
        }
        Response response = Response::Of("text/x-control", body);
        response.headers.emplace_back("Access-Control-Allow-Origin", "*");
        response.headers.emplace_back("Cache-Control", "no-store");
        return response;
    });
}

std::optional<std::string> PageControl::Eval(const std::string& channel, const std::string& script,
                                             Millis timeout) {
    size_t number = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        auto& queue = m_shared->channels[channel];
        queue.commands.push_back(script);
        number = queue.commands.size();
    }
    return m_site.WaitForReportPrefix("ans:" + channel + ":" + std::to_string(number) + ":",
                                      timeout);
}

std::string PageControl::PollScript(const std::string& channel, Millis idle) const {
    return "(function () {\n"
           "  function poll() {\n"
           "    var got = false;\n"
           "    fetch(" +
           JsString(m_site.Url(kControlPath) + "?ch=" + channel) +
           ", {cache: 'no-store'})\n"
           "      .then(function (r) { return r.text(); })\n"
           "      .then(function (text) {\n"
           "        if (!text) return;\n"
           "        got = true;\n"
           "        var nl = text.indexOf('\\n');\n"
           "        var number = text.slice(0, nl), script = text.slice(nl + 1);\n"
           "        return new Promise(function (done) { done((0, eval)(script)); })\n"
           "          .then(function (value) { return String(value); },\n"
           "                function (e) { return '!exception:' + e; })\n"
           "          .then(function (answer) {\n"
           "            report('ans:' + " +
           JsString(channel) +
           " + ':' + number + ':' + answer);\n"
           "          });\n"
           "      })\n"
           "      .catch(function () {})\n"
           "      .then(function () { setTimeout(poll, got ? 0 : " +
           std::to_string(idle.count()) +
           "); });\n"
           "  }\n"
           "  poll();\n"
           "})();\n";
}

std::string PageControl::LoaderScript(const std::string& channel) const {
    return "function load(path) {\n"
           "  var image = new Image();\n"
           "  image.onload = image.onerror = function () { report('loaded:' + path); };\n"
           "  image.src = path;\n"
           "  return 'loading';\n"
           "}\n" +
           PollScript(channel);
}

bool PageControl::IsControlRequest(const Request& request) {
    return request.path.rfind(std::string(kControlPath) + "?", 0) == 0 ||
           request.path == kControlPath;
}

std::string JsString(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out + "'";
}

}  // namespace e2e
