#include "sound/ogg_player.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "files/file_stream.h"
#include "platform/paths.h"

namespace {

ov_callbacks ToVorbisCallbacks(const CStreamCallbacks& callbacks) {
    ov_callbacks result{};
    result.read_func = callbacks.read;
    result.seek_func = callbacks.seek;
    result.close_func = callbacks.close;
    result.tell_func = callbacks.tell;
    return result;
}

}  // namespace

CDirectSoundOgg::CDirectSoundOgg() : m_decoder(new OggVorbis_File{}) {}

CDirectSoundOgg::~CDirectSoundOgg() { Close(); }

int32_t CDirectSoundOgg::Open(CAudioDevice* device, const char* path) {
    Close();
    m_file = OpenGameFile(path, "rb");
    if (m_file == nullptr) return -1;
    if (ov_open_callbacks(&m_file, m_decoder.get(), nullptr, 0, ToVorbisCallbacks(FileRefCallbacks())) < 0) {
        // Not held by the decoder: closed here, once.
        std::fclose(m_file);
        m_file = nullptr;
        return -1;
    }
    m_decoderOpen = true;
    return CreateFromDecoder(device);
}

int32_t CDirectSoundOgg::OpenFromCallbacks(CAudioDevice* device, const char*, const CStreamCallbacks* callbacks,
                                           void* source) {
    if (callbacks == nullptr || callbacks->read == nullptr) return -1;
    Close();
    if (ov_open_callbacks(source, m_decoder.get(), nullptr, 0, ToVorbisCallbacks(*callbacks)) < 0) return -1;
    m_decoderOpen = true;
    if (CreateFromDecoder(device) == 0) return 0;
    // Give the decoder up without closing the source, which stays with the caller.
    m_decoder->datasource = nullptr;
    ov_clear(m_decoder.get());
    *m_decoder = OggVorbis_File{};
    m_decoderOpen = false;
    return -1;
}

int32_t CDirectSoundOgg::CreateFromDecoder(CAudioDevice* device) {
    if (BuildFormat() != 0 || CreateBuffer(device, m_format) != 0) return -1;
    Reset();
    return 0;
}

int32_t CDirectSoundOgg::BuildFormat() {
    const vorbis_info* info = ov_info(m_decoder.get(), -1);
    if (info == nullptr || info->channels <= 0 || info->channels > 0xFFFF / 2 || info->rate <= 0 ||
        info->rate > INT32_MAX / 4)
        return -1;
    m_format = SWaveFormat{};
    m_format.wFormatTag = kWaveFormatPcm;
    m_format.nChannels = static_cast<uint16_t>(info->channels);
    m_format.nSamplesPerSec = static_cast<uint32_t>(info->rate);
    m_format.wBitsPerSample = 16;
    m_format.nBlockAlign = static_cast<uint16_t>(info->channels * 2);
    m_format.nAvgBytesPerSec = m_format.nSamplesPerSec * m_format.nBlockAlign;
    return 0;
}

int64_t CDirectSoundOgg::ReadPcm(void* destination, uint32_t bytes) {
    int section = 0;
    const int want = static_cast<int>(std::min<uint32_t>(bytes, INT_MAX));
    const long result = ov_read(m_decoder.get(), static_cast<char*>(destination), want, 0, 2, 1, &section);
    return result < 0 ? -1 : result;
}

int32_t CDirectSoundOgg::SeekTime(double seconds) {
    if (m_decoderOpen) ov_time_seek(m_decoder.get(), seconds);
    return 0;
}

void CDirectSoundOgg::Close() {
    CDirectSoundBase::Close();
    if (m_decoderOpen) {
        ov_clear(m_decoder.get());  // closes the source through its close callback
        m_decoderOpen = false;
    } else if (m_file != nullptr) {
        std::fclose(m_file);
    }
    *m_decoder = OggVorbis_File{};
    m_file = nullptr;
}
