#include "tools/lib/sound_writer.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

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

std::vector<uint8_t> EncodeOgg(const std::vector<float>& interleaved, uint16_t channels, uint32_t rate,
                               float quality, uint32_t serial) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, static_cast<long>(rate), quality) != 0) {
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
    ogg_stream_init(&stream, static_cast<int>(serial));

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
                    buffers[c][i] = interleaved[(done + i) * channels + c];
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

std::vector<uint8_t> EncodeOgg(const std::vector<int16_t>& interleaved, uint16_t channels, uint32_t rate,
                               float quality) {
    std::vector<float> samples(interleaved.size());
    std::transform(interleaved.begin(), interleaved.end(), samples.begin(),
                   [](int16_t sample) { return sample / 32768.0f; });
    return EncodeOgg(samples, channels, rate, quality);
}
