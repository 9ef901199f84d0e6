#include "platform/devices_graphics.h"

#include <cstdlib>
#include <initializer_list>

CGraphicsDevice* g_pD3DDevice = nullptr;
CSurface* g_pBackBuffer = nullptr;
CSurface* g_pDepthSurface = nullptr;
uint32_t g_bOffscreenTarget = 0;
CSurface* g_pOffscreenTarget = nullptr;
uint32_t g_MultiSampleType = 0;

namespace {

SDeviceRequest g_Request;

template <typename T>
void ReleaseHeld(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// Steps 5 to 7 of the creation, shared with the reset: back buffer, off-screen target, depth.
int32_t TakeSurfaces(uint32_t width, uint32_t height) {
    if (g_pD3DDevice->GetBackBuffer(&g_pBackBuffer) != 0) return -1;
    if (g_bOffscreenTarget == 1 &&
        g_pD3DDevice->CreateRenderTarget(width, height, Format::A8R8G8B8, &g_pOffscreenTarget) != 0)
        return -1;
    if (g_Request.autoDepth) return g_pD3DDevice->GetDepthSurface(&g_pDepthSurface);
    if (g_pD3DDevice->CreateDepthSurface(g_Request.depthWidth, g_Request.depthHeight, &g_pDepthSurface) != 0)
        return -1;
    return g_pD3DDevice->SetDepthSurface(g_pDepthSurface);
}

// VELKORA_FULL_REDRAW=1 draws and shows every frame whole, for comparison and measurement.
bool FullRedrawRequested() {
    const char* value = std::getenv("VELKORA_FULL_REDRAW");
    return value != nullptr && value[0] != '\0' && value[0] != '0';
}

int32_t SetFullViewport(uint32_t width, uint32_t height) {
    const SViewport viewport = {0, 0, width, height, 0.0f, 1.0f};
    return g_pD3DDevice->SetViewport(viewport);
}

}  // namespace

int32_t CheckMultiSampleType(uint32_t /*adapter*/, Format backBufferFormat, Format depthFormat, uint32_t type) {
    const bool formats = (backBufferFormat == Format::X8R8G8B8 || backBufferFormat == Format::A8R8G8B8) &&
                         depthFormat == Format::D16;
    return formats && type == 0 ? 0 : -1;
}

uint32_t ChooseMultiSampleType(uint32_t adapter, Format backBufferFormat, Format depthFormat) {
    for (uint32_t type : {8u, 4u, 2u})
        if (CheckMultiSampleType(adapter, backBufferFormat, depthFormat, type) == 0) return type;
    return 0;
}

int32_t InitDirect3D(const SDeviceRequest& request) {
    if (g_pD3DDevice || request.adapter != 0) return -1;
    g_Request = request;
    g_MultiSampleType =
        request.multisample == -1 ? ChooseMultiSampleType(request.adapter, Format::X8R8G8B8, Format::D16) : 0;
    // The software device runs no shaders; vertex processing is always done by the program.
    if (request.pixelShaderVersion > kPixelShaderVersion00) return -1;

    SDeviceParams params;
    params.width = request.width;
    params.height = request.height;
    params.autoDepth = request.autoDepth != 0;
    params.present = request.present;
    params.presentUser = request.presentUser;
    g_pD3DDevice = CGraphicsDevice::Create(params);
    if (!g_pD3DDevice) return -1;
    if (FullRedrawRequested()) g_pD3DDevice->SetDamageTracking(false);
    if (SetFullViewport(request.width, request.height) != 0) return -1;
    g_bOffscreenTarget = request.offscreenTarget;
    if (TakeSurfaces(request.width, request.height) != 0) return -1;
    return SetDefaultRenderStates();
}

int32_t ResetDirect3DDevice(uint32_t width, uint32_t height) {
    if (!g_pD3DDevice) return -1;
    ReleaseHeld(g_pBackBuffer);
    ReleaseHeld(g_pDepthSurface);
    ReleaseHeld(g_pOffscreenTarget);
    if (g_pD3DDevice->Reset(width, height) != 0) return -1;
    if (SetFullViewport(width, height) != 0) return -1;
    if (TakeSurfaces(g_Request.width, g_Request.height) != 0) return -1;
    return SetDefaultRenderStates();
}

int32_t SetDefaultRenderStates() { return ApplyDefaultRenderStates(g_pD3DDevice); }

int32_t ApplyDefaultRenderStates(CGraphicsDevice* d) {
    if (!d) return -1;
    d->SetRenderState(RenderState::DitherEnable, 1);
    d->SetRenderState(RenderState::ZWriteEnable, 1);
    d->SetRenderState(RenderState::ZFunc, Cmp::LessEqual);
    d->SetRenderState(RenderState::ZEnable, 1);
    d->SetRenderState(RenderState::AlphaTestEnable, 1);
    d->SetRenderState(RenderState::AlphaFunc, Cmp::Greater);
    d->SetRenderState(RenderState::AlphaRef, 0);
    d->SetRenderState(RenderState::CullMode, Cull::None);
    d->SetRenderState(RenderState::Lighting, 0);
    d->SetRenderState(RenderState::AlphaBlendEnable, 1);
    d->SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
    d->SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
    d->SetTextureStageState(0, TexStage::ColorOp, TexOp::Modulate);
    d->SetTextureStageState(0, TexStage::ColorArg1, TexArg::Texture);
    d->SetTextureStageState(0, TexStage::ColorArg2, TexArg::Diffuse);
    d->SetTextureStageState(0, TexStage::AlphaOp, TexOp::Modulate);
    d->SetTextureStageState(0, TexStage::AlphaArg1, TexArg::Texture);
    d->SetTextureStageState(0, TexStage::AlphaArg2, TexArg::Diffuse);
    d->SetSamplerState(0, Sampler::MinFilter, TexFilter::Point);
    d->SetSamplerState(0, Sampler::MagFilter, TexFilter::Point);
    return 0;
}

void ReleaseDirect3D() {
    ReleaseHeld(g_pOffscreenTarget);
    ReleaseHeld(g_pDepthSurface);
    ReleaseHeld(g_pBackBuffer);
    ReleaseHeld(g_pD3DDevice);
}
