#include "tests/sound/sound_test_util.h"

#include <dirent.h>
#include <unistd.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/clock.h"

SWaveFormat PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    SWaveFormat format;
    format.wFormatTag = kWaveFormatPcm;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

namespace {

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

CWavBuilder& CWavBuilder::Chunk(const char (&tag)[5], const std::vector<uint8_t>& payload) {
    m_chunks.insert(m_chunks.end(), tag, tag + 4);
    AppendU32(m_chunks, static_cast<uint32_t>(payload.size()));
    m_chunks.insert(m_chunks.end(), payload.begin(), payload.end());
    return *this;
}

CWavBuilder& CWavBuilder::Format(const SWaveFormat& format, uint32_t payloadSize) {
    std::vector<uint8_t> fields;
    AppendU16(fields, format.wFormatTag);
    AppendU16(fields, format.nChannels);
    AppendU32(fields, format.nSamplesPerSec);
    AppendU32(fields, format.nAvgBytesPerSec);
    AppendU16(fields, format.nBlockAlign);
    AppendU16(fields, format.wBitsPerSample);
    fields.resize(payloadSize, 0xEE);
    return Chunk("fmt ", fields);
}

CWavBuilder& CWavBuilder::Data(const std::vector<uint8_t>& pcm) { return Chunk("data", pcm); }

std::vector<uint8_t> CWavBuilder::Build(const char (&riff)[5], const char (&wave)[5]) const {
    std::vector<uint8_t> out(riff, riff + 4);
    AppendU32(out, static_cast<uint32_t>(m_chunks.size() + 4));
    out.insert(out.end(), wave, wave + 4);
    out.insert(out.end(), m_chunks.begin(), m_chunks.end());
    return out;
}

std::vector<uint8_t> MakeWav(const SWaveFormat& format, const std::vector<uint8_t>& pcm) {
    return CWavBuilder().Format(format).Data(pcm).Build();
}

std::vector<uint8_t> ToBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out(samples.size() * 2);
    std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

std::vector<int16_t> Sine(uint32_t frames, uint16_t channels, double frequency, uint32_t rate, double amplitude) {
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(frames) * channels);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(std::lrint(amplitude * std::sin(2.0 * M_PI * frequency * i / rate)));
        for (uint16_t c = 0; c < channels; ++c) out.push_back(v);
    }
    return out;
}

std::vector<int16_t> Ramp(uint32_t frames) {
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(i / 441 + 1);
        out.push_back(v);
        out.push_back(v);
    }
    return out;
}

std::vector<uint8_t> EncodeOgg(const std::vector<int16_t>& interleaved, uint16_t channels, uint32_t rate) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, static_cast<long>(rate), 0.3f) != 0) {
        vorbis_info_clear(&info);
        return {};
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);

    std::vector<uint8_t> out;
    auto appendPage = [&](const ogg_page& page) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_page page;
    ogg_stream_packetin(&stream, &header);  // the identification header has a page of its own
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(page);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(page);

    const size_t frames = interleaved.size() / channels;
    size_t done = 0;
    bool ended = false;
    while (!ended) {
        const size_t chunk = std::min<size_t>(1024, frames - done);
        if (chunk == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffers = vorbis_analysis_buffer(&dsp, static_cast<int>(chunk));
            for (size_t i = 0; i < chunk; ++i)
                for (uint16_t c = 0; c < channels; ++c)
                    buffers[c][i] = interleaved[(done + i) * channels + c] / 32768.0f;
            vorbis_analysis_wrote(&dsp, static_cast<int>(chunk));
            done += chunk;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    appendPage(page);
                    if (ogg_page_eos(&page)) ended = true;
                }
            }
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

CTempFolder::CTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sound_test_XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    m_path = made != nullptr ? std::string(made) + "/" : std::string();
}

CTempFolder::~CTempFolder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

std::string CTempFolder::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = m_path + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

CStreamCallbacks CMemorySource::Callbacks() {
    CStreamCallbacks callbacks;
    callbacks.read = [](void* destination, size_t size, size_t count, void* source) -> size_t {
        auto* memory = static_cast<CMemorySource*>(source);
        if (size == 0) return 0;
        const size_t available = memory->position < memory->bytes.size() ? memory->bytes.size() - memory->position : 0;
        const size_t items = std::min(count, available / size);
        if (items != 0) std::memcpy(destination, memory->bytes.data() + memory->position, items * size);
        memory->position += items * size;
        return items;
    };
    callbacks.seek = [](void* source, int64_t offset, int origin) -> int {
        auto* memory = static_cast<CMemorySource*>(source);
        int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? static_cast<int64_t>(memory->position)
                                                                   : static_cast<int64_t>(memory->bytes.size());
        const int64_t target = base + offset;
        if (target < 0) return -1;
        memory->position = static_cast<size_t>(target);
        return 0;
    };
    callbacks.close = [](void* source) -> int {
        ++static_cast<CMemorySource*>(source)->closes;
        return 0;
    };
    callbacks.tell = [](void* source) -> long { return static_cast<long>(static_cast<CMemorySource*>(source)->position); };
    return callbacks;
}

int CountOpenFileDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

void SoundClockTest::SetUp() {
    UseFakeClock(5000000);
    m_device = CAudioDevice::Create(EAudioOutput::Clock);
    ASSERT_NE(m_device, nullptr);
    m_device->SetCapture(true);
}

void SoundClockTest::TearDown() {
    ASSERT_TRUE(SettleFakeClock());
    UseRealClock();
}

void SoundClockTest::Run(uint32_t ms, uint32_t step) {
    ASSERT_TRUE(SettleFakeClock());
    for (uint32_t done = 0; done < ms; done += step) {
        AdvanceFakeClock(std::min(step, ms - done));
        ASSERT_TRUE(SettleFakeClock());
    }
}

std::vector<int16_t> SoundClockTest::TakeOutput() { return m_device->TakeCaptured(); }
