#include "sound/wave_player.h"

#include <algorithm>
#include <cstring>

#include "files/file_stream.h"
#include "platform/paths.h"

namespace {

constexpr uint32_t kFmtFieldBytes = 16;  // through wBitsPerSample

uint16_t U16At(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

CDirectSoundWave::CDirectSoundWave() { UseFileSource(); }

CDirectSoundWave::~CDirectSoundWave() { Close(); }

void CDirectSoundWave::UseFileSource() {
    m_callbacks = FileRefCallbacks();
    m_source = &m_file;
}

size_t CDirectSoundWave::ReadSource(void* destination, size_t bytes) {
    return m_callbacks.read != nullptr ? m_callbacks.read(destination, 1, bytes, m_source) : 0;
}

int32_t CDirectSoundWave::Open(CAudioDevice* device, const char* path) {
    Close();
    m_file = OpenGameFile(path, "rb");
    if (m_file == nullptr) return -1;
    return OpenParsedSource(device);
}

int32_t CDirectSoundWave::OpenFromCallbacks(CAudioDevice* device, const char*, const CStreamCallbacks* callbacks,
                                            void* source) {
    if (callbacks == nullptr || callbacks->read == nullptr || callbacks->seek == nullptr ||
        callbacks->tell == nullptr)
        return -1;
    Close();
    m_callbacks = *callbacks;
    m_source = source;
    if (OpenParsedSource(device) == 0) return 0;
    // The source stays with the caller.
    UseFileSource();
    return -1;
}

int32_t CDirectSoundWave::OpenParsedSource(CAudioDevice* device) {
    if (ParseRiff() != 0) return -1;
    if (CreateBuffer(device, m_format) != 0) return -1;
    Reset();
    return 0;
}

int32_t CDirectSoundWave::ParseRiff() {
    m_format = SWaveFormat{};
    m_dataOffset = 0;
    m_dataSize = 0;
    m_position = 0;
    if (m_callbacks.seek(m_source, 0, SEEK_END) != 0) return -1;
    const long end = m_callbacks.tell(m_source);
    if (end < 12 || m_callbacks.seek(m_source, 0, SEEK_SET) != 0) return -1;
    const auto sourceSize = static_cast<uint64_t>(end);
    uint8_t head[12];
    if (ReadSource(head, 12) != 12) return -1;
    if (ReadU32LE(head) != MakeTag("RIFF") || ReadU32LE(head + 8) != MakeTag("WAVE")) return -1;

    // Each chunk is consumed by exactly its size, whatever its reader took of it.
    uint64_t chunk = 12;
    while (chunk + 8 <= sourceSize) {
        uint8_t header[8];
        if (m_callbacks.seek(m_source, static_cast<int64_t>(chunk), SEEK_SET) != 0 || ReadSource(header, 8) != 8)
            break;
        const uint32_t tag = ReadU32LE(header);
        const uint32_t size = ReadU32LE(header + 4);
        const uint64_t payload = chunk + 8;
        if (tag == MakeTag("fmt ")) {
            uint8_t fields[kFmtFieldBytes] = {};
            const auto wanted = static_cast<uint32_t>(std::min<uint64_t>({size, kFmtFieldBytes, sourceSize - payload}));
            if (ReadSource(fields, wanted) != wanted) break;
            m_format = SWaveFormat{};
            if (wanted >= 14) {
                m_format.wFormatTag = U16At(fields);
                m_format.nChannels = U16At(fields + 2);
                m_format.nSamplesPerSec = ReadU32LE(fields + 4);
                m_format.nAvgBytesPerSec = ReadU32LE(fields + 8);
                m_format.nBlockAlign = U16At(fields + 12);
            }
            if (wanted >= 16) m_format.wBitsPerSample = U16At(fields + 14);
        } else if (tag == MakeTag("data")) {
            // A data chunk that claims more than the source holds plays what is there.
            m_dataOffset = static_cast<uint32_t>(payload);
            m_dataSize = static_cast<uint32_t>(std::min<uint64_t>(size, sourceSize - payload));
        }
        chunk = payload + size;
    }
    const uint64_t perSecond =
        static_cast<uint64_t>(m_format.nChannels) * m_format.wBitsPerSample * m_format.nSamplesPerSec / 8;
    m_bytesPerSecond = static_cast<uint32_t>(std::min<uint64_t>(perSecond, UINT32_MAX));
    m_callbacks.seek(m_source, m_dataOffset, SEEK_SET);
    m_position = 0;
    return 0;
}

int64_t CDirectSoundWave::ReadPcm(void* destination, uint32_t bytes) {
    const uint32_t n = std::min(bytes, m_dataSize - m_position);
    auto* out = static_cast<uint8_t*>(destination);
    const size_t got = ReadSource(out, n);
    if (got < n) std::memset(out + got, 0, n - got);  // a damaged source plays silence
    m_position += n;
    return n;
}

int32_t CDirectSoundWave::SeekTime(double seconds) {
    auto position = static_cast<uint64_t>(std::max(0.0, m_bytesPerSecond * seconds));
    if (m_format.nBlockAlign > 1) position -= position % m_format.nBlockAlign;
    m_position = static_cast<uint32_t>(std::min<uint64_t>(position, m_dataSize));
    m_callbacks.seek(m_source, static_cast<int64_t>(m_dataOffset) + m_position, SEEK_SET);
    return 0;
}

void CDirectSoundWave::Close() {
    CDirectSoundBase::Close();
    if (m_callbacks.close != nullptr) m_callbacks.close(m_source);
    UseFileSource();
    m_file = nullptr;
}
