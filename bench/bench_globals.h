// The process-wide graphics device, back buffer and sound device that the screens and the
// application use. A benchmark that points them at objects of its own holds a scope: they are
// emptied for it and given back as they were when it ends, so that no benchmark sees another's
// (an application's start-up refuses a device that is already there).
#pragma once

#include "platform/audio.h"
#include "platform/devices_graphics.h"

class CBenchGlobalsScope {
public:
    CBenchGlobalsScope() : device_(g_pD3DDevice), backBuffer_(g_pBackBuffer), sound_(g_pDirectSound) {
        g_pD3DDevice = nullptr;
        g_pBackBuffer = nullptr;
        g_pDirectSound = nullptr;
    }
    ~CBenchGlobalsScope() {
        g_pD3DDevice = device_;
        g_pBackBuffer = backBuffer_;
        g_pDirectSound = sound_;
    }
    CBenchGlobalsScope(const CBenchGlobalsScope&) = delete;
    CBenchGlobalsScope& operator=(const CBenchGlobalsScope&) = delete;

private:
    CGraphicsDevice* device_;
    CSurface* backBuffer_;
    CAudioDevice* sound_;
};
