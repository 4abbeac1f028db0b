#pragma once

// Media made by ffmpeg while the tests run, and the stream players (hls.js, dash.js) from the
// tests' npm folder, served by the loopback site, so that tests need no media files on disk
// and play real streams with real players.

#include <string>
#include <vector>

#include "e2e/TestSite.h"

namespace e2e {

// The common ffmpeg input: two seconds of a small test picture (160x90) and a tone.
extern const std::vector<std::string> kMediaSource;
// H.264 High profile and AAC, as the web usually carries them, with a key frame every second
// so that each one-second segment starts with one.
extern const std::vector<std::string> kH264Aac;

// ffmpeg's arguments for an HLS stream of two variants (160x90 at 60 kbit/s and 320x180 at
// 120 kbit/s), each with its media playlist v<N>.m3u8 and MPEG-TS segments v<N>-<i>.ts, and
// the master playlist master.m3u8.
extern const std::vector<std::string> kTwoVariantHls;

// The type the site gives a media file, by its extension.
std::string MediaType(const std::string& path);

// Runs ffmpeg on kMediaSource with `codecs` and then `arguments`, the last of which names the
// output file below `folder` (made when missing), in `folder` as the working folder, so that
// the files a muxer writes beside its output land there too. Answers "" or what went wrong
// (ffmpeg missing names scripts/deps.sh --test, which installs it).
std::string MakeMedia(const std::string& folder, const std::vector<std::string>& codecs,
                      const std::vector<std::string>& arguments);

// Routes every file below `folder` at `prefix` + its path below the folder, with MediaType.
void ServeMediaFolder(TestSite& site, const std::string& folder, const std::string& prefix);

// Routes /players/hls.js and /players/dash.js to the players' builds. Answers "" or which one
// is missing (npm ci in tests/e2e/players installs them).
std::string ServePlayers(TestSite& site);

}  // namespace e2e
