// Which frames of the main view get `service`: only documents of the program's own page folder,
// and blank documents (about:blank, about:srcdoc) that such a document made in a frame of its
// own. A web site shown in a frame of the page, or in the main view after a navigation away
// from the page, gets none: it could hand any address to the desktop's default handler.
#pragma once

#include <JavaScriptCore/JavaScript.h>

#include <string>

// `frameAddress` is the frame's document address as the engine gives it, `context` the frame's
// fresh script context (its `parent` chain is read for blank documents), `pageFolder` the
// folder of the program's page. Reads that throw count as "no".
bool FrameMayHaveService(JSContextRef context, const std::string& frameAddress, bool mainFrame,
                         const std::string& pageFolder);

// Whether a frame's address names a blank document that takes its origin from its parent.
bool IsBlankDocumentAddress(const std::string& address);
