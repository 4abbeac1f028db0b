#include "e2e/Media.h"

#include <filesystem>
#include <map>

#include "e2e/Command.h"

#ifndef TRAWLET_E2E_PLAYERS_DIR
#error "TRAWLET_E2E_PLAYERS_DIR must name the players' node_modules folder"
#endif

namespace e2e {

namespace fs = std::filesystem;

const std::vector<std::string> kMediaSource = {
    "-f", "lavfi", "-i", "testsrc2=size=160x90:rate=15:duration=2",
    "-f", "lavfi", "-i", "sine=frequency=440:duration=2"};
const std::vector<std::string> kH264Aac = {
    "-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high", "-pix_fmt", "yuv420p", "-g",
    "15",   "-c:a",    "aac",     "-b:a",     "32k",        "-ac",  "1",        "-ar",     "22050"};

const std::vector<std::string> kTwoVariantHls = {"-map",
                                                 "0:v",
                                                 "-map",
                                                 "1:a",
                                                 "-map",
                                                 "0:v",
                                                 "-map",
                                                 "1:a",
                                                 "-filter:v:1",
                                                 "scale=320:180",
                                                 "-b:v:0",
                                                 "60k",
                                                 "-b:v:1",
                                                 "120k",
                                                 "-f",
                                                 "hls",
                                                 "-hls_time",
                                                 "1",
                                                 "-hls_playlist_type",
                                                 "vod",
                                                 "-hls_segment_filename",
                                                 "v%v-%d.ts",
                                                 "-master_pl_name",
                                                 "master.m3u8",
                                                 "-var_stream_map",
                                                 "v:0,a:0 v:1,a:1",
                                                 "v%v.m3u8"};

std::string MediaType(const std::string& path) {
    static const std::map<std::string, std::string> kTypes = {
        {".m3u8", "application/vnd.apple.mpegurl"},
        {".ts", "video/mp2t"},
        {".mpd", "application/dash+xml"},
        {".m4s", "video/iso.segment"},
        {".mp4", "video/mp4"},
        {".webm", "video/webm"},
        {".mp3", "audio/mpeg"},
    };
    auto found = kTypes.find(fs::path(path).extension().string());
    return found == kTypes.end() ? "application/octet-stream" : found->second;
}

std::string MakeMedia(const std::string& folder, const std::vector<std::string>& codecs,
                      const std::vector<std::string>& arguments) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return "cannot make " + folder + ": " + ec.message();
    // The working folder is the output's: the HLS muxer writes its segments and variant
    // playlists relative to it unless told otherwise. The shell only changes into it.
    std::vector<std::string> argv = {"/bin/sh",   "-c",     "cd \"$0\" && exec \"$@\"",
                                     folder,      "ffmpeg", "-hide_banner",
                                     "-loglevel", "error",  "-y"};
    argv.insert(argv.end(), kMediaSource.begin(), kMediaSource.end());
    argv.insert(argv.end(), codecs.begin(), codecs.end());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const CommandResult result = RunCommand(argv, Millis(60000));
    if (!result.started || result.status == 127)
        return "ffmpeg cannot be run; scripts/deps.sh --test installs it";
    if (!result.Ok()) return "ffmpeg failed making media in " + folder + ":\n" + result.err;
    return "";
}

void ServeMediaFolder(TestSite& site, const std::string& folder, const std::string& prefix) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), folder).string();
        site.Route(prefix + relative,
                   Response::Of(MediaType(relative), ReadFile(entry.path().string())));
    }
}

std::string ServePlayers(TestSite& site) {
    const std::pair<const char*, const char*> kPlayers[] = {
        {"/players/hls.js", "hls.js/dist/hls.min.js"},
        {"/players/dash.js", "dashjs/dist/modern/umd/dash.all.min.js"},
    };
    for (const auto& [route, file] : kPlayers) {
        const std::string path = std::string(TRAWLET_E2E_PLAYERS_DIR) + "/" + file;
        if (!PathExists(path))
            return path + " is missing; `npm ci` in tests/e2e/players installs the players";
        site.Route(route, Response::Of("text/javascript", ReadFile(path)));
    }
    return "";
}

}  // namespace e2e
