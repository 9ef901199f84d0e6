// The process-wide graphics device: creation for the main window's 800×600 client area with a
// 16-bit depth buffer and the fixed states of 2D sprite drawing, reset after a loss, release.
#pragma once

#include <cstdint>

#include "platform/graphics.h"

// Shader versions in the encoding of the original graphics interface; the software device runs
// no shaders, so it offers version 0.0 of both.
constexpr uint32_t kVertexShaderVersion00 = 0xFFFE0000u;
constexpr uint32_t kPixelShaderVersion00 = 0xFFFF0000u;

// What the application asks of the device (filled at start-up).
struct SDeviceRequest {
    uint32_t adapter = 0;
    uint32_t width = 800;
    uint32_t height = 600;
    int32_t multisample = 0;  // 0 none, -1 the best supported
    uint32_t vertexShaderVersion = kVertexShaderVersion00;
    uint32_t vertexShaderConstants = 0;
    uint32_t pixelShaderVersion = kPixelShaderVersion00;
    uint32_t offscreenTarget = 0;  // 1: create an off-screen A8R8G8B8 target of the back-buffer size
    uint32_t autoDepth = 1;        // 1: the device's own D16 depth buffer; 0: an explicit one
    uint32_t depthWidth = 0;       // size of the explicit depth surface
    uint32_t depthHeight = 0;
    PresentCallback present = nullptr;  // receives every presented frame (the window's blit)
    void* presentUser = nullptr;
};

extern CGraphicsDevice* g_pD3DDevice;
extern CSurface* g_pBackBuffer;
extern CSurface* g_pDepthSurface;
extern uint32_t g_bOffscreenTarget;
extern CSurface* g_pOffscreenTarget;
extern uint32_t g_MultiSampleType;

// 0 when the multisample type (0 = none, else the sample count) is supported for both formats.
int32_t CheckMultiSampleType(uint32_t adapter, Format backBufferFormat, Format depthFormat, uint32_t type);
// The first of 8, 4 and 2 samples that both formats support, else 0.
uint32_t ChooseMultiSampleType(uint32_t adapter, Format backBufferFormat, Format depthFormat);

int32_t InitDirect3D(const SDeviceRequest& request);
// After a loss: releases the device's surfaces, resets the device to width × height and takes
// the surfaces again. Returns 0 / -1 (retry on the next tick).
int32_t ResetDirect3DDevice(uint32_t width, uint32_t height);
int32_t SetDefaultRenderStates();
// The same states on any device (headless devices of tests and tools).
int32_t ApplyDefaultRenderStates(CGraphicsDevice* device);
// The graphics part of the DirectX release: off-screen target, depth surface, back buffer,
// device, each only if held, each set to null.
void ReleaseDirect3D();
