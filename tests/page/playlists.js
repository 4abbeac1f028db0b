'use strict';
// Playlists written for the page's stream tests: an HLS master with several variants and
// audio, subtitle and closed-caption groups, media playlists with AES-128 keys, with
// SAMPLE-AES and an skd: key, with Widevine and PlayReady keys, a live one, and DASH
// manifests (one with three adaptation sets and ContentProtection, one live). Relative
// references resolve against addresses below BASE.

const BASE = 'http://127.0.0.1:8080/show/ep1/';

const MASTER = `#EXTM3U
#EXT-X-VERSION:6
#EXT-X-INDEPENDENT-SEGMENTS
#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID="aac",LANGUAGE="en",NAME="English",DEFAULT=YES,AUTOSELECT=YES,URI="audio/en/index.m3u8"
#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID="aac",LANGUAGE="fr",NAME="Français",URI="/cdn/audio/fr.m3u8?t=1"
#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID="subs",LANGUAGE="de",NAME="Deutsch",FORCED=NO,URI="../subs/de.m3u8"
#EXT-X-MEDIA:TYPE=CLOSED-CAPTIONS,GROUP-ID="cc",LANGUAGE="en",NAME="CC1",INSTREAM-ID="CC1"
#EXT-X-STREAM-INF:BANDWIDTH=1280000,AVERAGE-BANDWIDTH=1000000,RESOLUTION=640x360,FRAME-RATE=29.970,CODECS="avc1.4d401e,mp4a.40.2",AUDIO="aac",SUBTITLES="subs",CLOSED-CAPTIONS="cc"
360p/index.m3u8
#EXT-X-STREAM-INF:BANDWIDTH=5000000,RESOLUTION=1920x1080,FRAME-RATE=60,CODECS="hvc1.2.4.L123.B0,mp4a.40.2",AUDIO="aac",CLOSED-CAPTIONS=NONE
https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b
#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS="mp4a.40.5"
//127.0.0.1:9000/radio/aac.m3u8
#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=86000,URI="360p/iframe.m3u8"
`;

const AES = `#EXTM3U
#EXT-X-VERSION:3
#EXT-X-TARGETDURATION:10
#EXT-X-MEDIA-SEQUENCE:0
#EXT-X-PLAYLIST-TYPE:VOD
#EXT-X-KEY:METHOD=AES-128,URI="keys/k1.bin",IV=0x00000000000000000000000000000001
#EXTINF:9.5,
seg0.ts
#EXTINF:10,
seg1.ts
#EXT-X-KEY:METHOD=AES-128,URI="https://127.0.0.1:8443/keys/k2?id=2"
#EXTINF:10.25,
seg2.ts
#EXT-X-KEY:METHOD=NONE
#EXTINF:4,
seg3.ts
#EXT-X-ENDLIST
`;

const SAMPLE_AES = `#EXTM3U
#EXT-X-TARGETDURATION:6
#EXT-X-KEY:METHOD=SAMPLE-AES,URI="skd://key-id-42",KEYFORMAT="com.apple.streamingkeydelivery",KEYFORMATVERSIONS="1"
#EXTINF:6,
fp0.ts
#EXTINF:6,
fp1.ts
#EXT-X-ENDLIST
`;

const MULTI_DRM = `#EXTM3U
#EXT-X-TARGETDURATION:4
#EXT-X-KEY:METHOD=SAMPLE-AES-CTR,URI="data:text/plain;base64,AAAAAA==",KEYID=0x10000000100010001000100000000001,KEYFORMAT="urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed"
#EXT-X-KEY:METHOD=SAMPLE-AES-CTR,URI="data:text/plain;charset=UTF-16;base64,AAAA",KEYFORMAT="urn:uuid:9a04f079-9840-4286-ab92-e65be0885f95"
#EXTINF:4,
c0.m4s
#EXT-X-ENDLIST
`;

// A plain SAMPLE-AES key (no key format): the key is an ordinary address.
const SAMPLE_AES_PLAIN = `#EXTM3U
#EXT-X-TARGETDURATION:4
#EXT-X-KEY:METHOD=SAMPLE-AES,URI="key.bin",KEYFORMAT="identity"
#EXTINF:4,
s0.ts
#EXT-X-ENDLIST
`;

const LIVE = `#EXTM3U
#EXT-X-VERSION:3
#EXT-X-TARGETDURATION:2
#EXT-X-MEDIA-SEQUENCE:1200
#EXTINF:2.002,
live1200.ts
#EXTINF:2.002,
live1201.ts
#EXTINF:2.002,
live1202.ts
`;

const DASH = `<?xml version="1.0" encoding="UTF-8"?>
<MPD xmlns="urn:mpeg:dash:schema:mpd:2011" xmlns:cenc="urn:mpeg:cenc:2013" type="static"
     mediaPresentationDuration="PT1M30.5S" minBufferTime="PT2S" profiles="urn:mpeg:dash:profile:isoff-live:2011">
  <BaseURL>media/</BaseURL>
  <Period id="main">
    <AdaptationSet id="1" contentType="video" mimeType="video/mp4" segmentAlignment="true">
      <ContentProtection schemeIdUri="urn:mpeg:dash:mp4protection:2011" value="cenc" cenc:default_KID="10000000-1000-1000-1000-100000000001"/>
      <ContentProtection schemeIdUri="urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed"><cenc:pssh>not base64 !!</cenc:pssh></ContentProtection>
      <ContentProtection schemeIdUri="urn:uuid:9A04F079-9840-4286-AB92-E65BE0885F95"/>
      <SegmentTemplate timescale="1000" duration="4000" startNumber="1"
                       initialization="$RepresentationID$/init.mp4" media="$RepresentationID$/seg-$Number%05d$.m4s"/>
      <Representation id="v720" bandwidth="3000000" width="1280" height="720" codecs="avc1.64001f" frameRate="30"/>
      <Representation id="v7200" bandwidth="800000" width="640" height="360" codecs="avc1.4d401e" frameRate="30000/1001"/>
    </AdaptationSet>
    <AdaptationSet id="2" mimeType="audio/mp4" lang="de" codecs="mp4a.40.2">
      <Label>Deutsch</Label>
      <Representation id="a1" bandwidth="128000" audioSamplingRate="48000">
        <BaseURL>https://127.0.0.1:8443/audio/a1.mp4</BaseURL>
        <SegmentBase indexRange="800-1200"><Initialization range="0-799"/></SegmentBase>
      </Representation>
      <Representation id="a2" bandwidth="64000">
        <BaseURL>audio/a2.mp4</BaseURL>
      </Representation>
    </AdaptationSet>
    <AdaptationSet id="3" mimeType="text/vtt" lang="en">
      <Representation id="t1" bandwidth="256"><BaseURL>subs/en.vtt</BaseURL></Representation>
    </AdaptationSet>
  </Period>
</MPD>`;

const DASH_LIVE = `<MPD xmlns="urn:mpeg:dash:schema:mpd:2011" type="dynamic" availabilityStartTime="2024-01-01T00:00:00Z"
     minimumUpdatePeriod="PT2S" timeShiftBufferDepth="PT30S" profiles="urn:mpeg:dash:profile:isoff-live:2011">
  <Period id="p0" start="PT0S">
    <AdaptationSet mimeType="video/mp4">
      <SegmentTemplate timescale="90000" media="$RepresentationID$_$Time$.m4s" initialization="$RepresentationID$_init.m4s">
        <SegmentTimeline><S t="0" d="180000" r="-1"/></SegmentTimeline>
      </SegmentTemplate>
      <Representation id="hd" bandwidth="2500000" width="1280" height="720" codecs="avc1.64001f"/>
    </AdaptationSet>
  </Period>
</MPD>`;

module.exports = { BASE, MASTER, AES, SAMPLE_AES, MULTI_DRM, SAMPLE_AES_PLAIN, LIVE, DASH, DASH_LIVE };
