#include "bridge/FramePolicy.h"

#include "bridge/PageCalls.h"
#include "channel/ModuleInit.h"

namespace {

// Frames nest only so deep in practice; a chain longer than this is refused rather than walked.
constexpr int kMaxFrameDepth = 64;

JSObjectRef ObjectProperty(JSContextRef context, JSObjectRef object, const char* name) {
    JSValueRef value = nullptr;
    if (!GetObjectProperty(context, object, name, value) || value == nullptr) return nullptr;
    if (!JSValueIsObject(context, value)) return nullptr;
    return JSValueToObject(context, value, nullptr);
}

}  // namespace

bool IsBlankDocumentAddress(const std::string& address) {
    const std::string bare = address.substr(0, address.find_first_of("?#"));
    return bare.empty() || bare == "about:blank" || bare == "about:srcdoc";
}

bool FrameMayHaveService(JSContextRef context, const std::string& frameAddress, bool mainFrame,
                         const std::string& pageFolder) {
    if (channel::IsInPageFolder(frameAddress, pageFolder)) return true;
    if (mainFrame || context == nullptr || !IsBlankDocumentAddress(frameAddress)) return false;
    // A blank document belongs to whoever made it: walk up to the first frame that shows a
    // real document and judge by that one. The frame's own script has not run yet, so the
    // `parent` read here is the engine's own.
    JSObjectRef frame = JSContextGetGlobalObject(context);
    for (int depth = 0; depth < kMaxFrameDepth; ++depth) {
        JSObjectRef parent = ObjectProperty(context, frame, "parent");
        if (parent == nullptr || JSValueIsStrictEqual(context, parent, frame)) return false;
        JSObjectRef location = ObjectProperty(context, parent, "location");
        JSValueRef href = nullptr;
        std::string address;
        if (location == nullptr || !GetObjectProperty(context, location, "href", href) ||
            !JSValueIsString(context, href) || !ScriptValueToUtf8(context, href, address))
            return false;
        if (channel::IsInPageFolder(address, pageFolder)) return true;
        if (!IsBlankDocumentAddress(address)) return false;
        frame = parent;
    }
    return false;
}
