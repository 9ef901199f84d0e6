// The message window's "TEXT" payload on arbitrary bytes: the page-command reader (plain) or
// the save-form restore (masked), chosen by the first byte. Whatever it reads, the window's save
// form must then restore to the same save form, and its size-only count must equal the bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "files/scrambled_io.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "text/message_window.h"
#include "tools/lib/memory_stream.h"

namespace {

const char kMsGothic[] = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック

// A read stream over a copy of the bytes.
struct SMemoryStream {
    std::vector<uint8_t> data;
    CReadStream stream;
    explicit SMemoryStream(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
        OpenMemoryStream(&stream, data.data(), data.size(), 4096);
    }
};

std::vector<uint8_t> SaveForm(const CMessageWindow& window) {
    uint32_t counted = 0, written = 0;
    window.Save(nullptr, &counted);
    CWriteStream out;
    out.file = std::tmpfile();
    out.AllocBuffer(1024);
    window.Save(&out, &written);
    out.Flush();
    if (counted != written) std::abort();
    std::vector<uint8_t> bytes(written);
    std::rewind(out.file);
    if (written && std::fread(bytes.data(), 1, written, out.file) != written) std::abort();
    out.Close();
    return bytes;
}

std::unique_ptr<CMessageWindow> MakeWindow() {
    auto window = std::make_unique<CMessageWindow>();
    CTextFormat font{};
    std::strcpy(font.face, kMsGothic);
    font.height = 24;
    font.colour = 0xFFFFFFFF;
    window->windowFont = font;
    window->nameFont = font;
    window->formatMode = 1;
    window->textFlags = 3;
    return window;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CGraphicsDevice* device = [] {
        SDeviceParams params;
        params.width = 64;
        params.height = 64;
        CGraphicsDevice* created = CGraphicsDevice::Create(params);
        ApplyDefaultRenderStates(created);
        return created;
    }();
    if (size < 1 || size > 8192) return 0;
    g_pEngineDevice = device;
    const bool restore = data[0] & 1;
    std::memset(g_SaveKey, data[0] & 2 ? 0x5A : 0, sizeof g_SaveKey);
    const std::vector<uint8_t> payload(data + 1, data + size);
    const uint32_t payloadSize = static_cast<uint32_t>(payload.size());

    auto window = MakeWindow();
    SMemoryStream memory(payload);
    memory.stream.Fill(payloadSize);
    uint32_t consumed = 0;
    if (restore) {
        window->Restore(&memory.stream, payloadSize, &consumed);
    } else {
        window->ParseCommand(&memory.stream, payloadSize, &consumed);
    }
    if (consumed != payloadSize) std::abort();

    // The save form restores to itself.
    const std::vector<uint8_t> saved = SaveForm(*window);
    auto copy = MakeWindow();
    SMemoryStream again(saved);
    again.stream.Fill(static_cast<uint32_t>(saved.size()));
    copy->Restore(&again.stream, static_cast<uint32_t>(saved.size()), &consumed);
    if (consumed != saved.size() || SaveForm(*copy) != saved) std::abort();
    return 0;
}
