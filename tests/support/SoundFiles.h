#pragma once
// Small sound files made at test time with sox and lame.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vuvedid::test {

// A sine tone of `seconds` at `freq` Hz and amplitude `amplitude`, written to `path`.
// The format follows the extension: .wav/.flac/.ogg/.aiff through sox, .mp3 through
// sox + lame (CBR 128 kbit/s, or VBR without a header tag when vbrNoTag is set).
// Returns false (and the test should fail) when a tool is missing or fails.
bool makeTone(const QString& path, double seconds, int rate = 44100, double freq = 440,
              double amplitude = 0.5, bool vbrNoTag = false);

// Cached copies: the first call per set of parameters generates, later ones copy the file
// (lame is slow enough to matter across a suite).
bool toneFile(const QString& path, double seconds, int rate = 44100, double freq = 440,
              double amplitude = 0.5, bool vbrNoTag = false);

// The 44-byte header of a 16-bit stereo 44.1 kHz PCM WAV whose data chunk holds dataBytes.
QByteArray wavHeader(std::uint32_t dataBytes);

// RMS of a raw 32-bit float stereo 44.1 kHz file (what SDL's disk driver writes), over
// frames [fromSec, toSec).
double rmsOfRawFloat(const QString& path, double fromSec, double toSec);

}  // namespace vuvedid::test
