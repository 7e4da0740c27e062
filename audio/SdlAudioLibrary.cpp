#include "audio/SdlAudioLibrary.h"

namespace vuvedid {

struct SdlAudioLibrary::Impl {};

SdlAudioLibrary::SdlAudioLibrary() : impl_(std::make_unique<Impl>()) {}
SdlAudioLibrary::~SdlAudioLibrary() = default;
std::uint32_t SdlAudioLibrary::GetVersion() noexcept { return kAudioInterfaceVersion; }
bool SdlAudioLibrary::Init(int, int) noexcept { return true; }
HSTREAM SdlAudioLibrary::StreamCreateFile(const QString&) noexcept { return 0; }
bool SdlAudioLibrary::ChannelPlay(HSTREAM, bool) noexcept { return false; }
bool SdlAudioLibrary::ChannelPause(HSTREAM) noexcept { return false; }
bool SdlAudioLibrary::ChannelStop(HSTREAM) noexcept { return false; }
bool SdlAudioLibrary::StreamFree(HSTREAM) noexcept { return false; }
bool SdlAudioLibrary::ChannelSetVolume(HSTREAM, float) noexcept { return false; }
std::uint64_t SdlAudioLibrary::ChannelGetLength(HSTREAM) noexcept { return ~std::uint64_t{0}; }
double SdlAudioLibrary::ChannelBytes2Seconds(HSTREAM, std::uint64_t) noexcept { return -1; }
int SdlAudioLibrary::ChannelIsActive(HSTREAM) noexcept { return ACTIVE_STOPPED; }
QString SdlAudioLibrary::ChannelGetFileName(HSTREAM) noexcept { return {}; }
bool SdlAudioLibrary::Stop() noexcept { return true; }
bool SdlAudioLibrary::Free() noexcept { return true; }

}  // namespace vuvedid
