#include "scene/scene_light.h"

#include "files/scrambled_io.h"
#include "model/shader_context.h"

namespace {

constexpr uint32_t kTagAmbient = MakeTag("AMBT");
constexpr uint32_t kTagColour1 = MakeTag("COL1");
constexpr uint32_t kTagColour2 = MakeTag("COL2");
constexpr uint32_t kTagAngles1 = MakeTag("ANG1");
constexpr uint32_t kTagAngles2 = MakeTag("ANG2");

// Scripts and saves store a colour's red, green and blue only.
constexpr int kStoredColour = 3;
constexpr int kStoredAngles = 2;

void SetUnitClamp(CKeyTrackColor* track) {
    track->clampFlags = KeyClamp::Minimum | KeyClamp::Maximum;
    track->minimum = SColorF{0.0f, 0.0f, 0.0f, 0.0f};
    track->maximum = SColorF{1.0f, 1.0f, 1.0f, 1.0f};
}

// A colour animated by a script is no longer held within the track's minimum and maximum.
void ParseColour(CAnimatedValue<CKeyTrackColor>* colour, CChunkReader& body) {
    colour->Parse(body, kStoredColour);
    if (colour->animating) colour->track.clampFlags = 0;
}

SVector3 Rgb(const SColorF& c) { return SVector3{c.r, c.g, c.b}; }

}  // namespace

SVector3 LightDirection(const SVector2& angles) {
    SMatrix rx, ry, rotation;
    MatrixRotationX(&rx, angles.x);
    MatrixRotationY(&ry, angles.y);
    MatrixMultiply(&rotation, &rx, &ry);
    const SVector3 forward{0.0f, 0.0f, 1.0f};
    SVector3 direction;
    Vec3TransformNormal(&direction, &forward, &rotation);
    return direction;
}

CSceneLight::CSceneLight() : startTime(kTimeNotSet) {
    SetUnitClamp(&ambient.track);
    SetUnitClamp(&light1Colour.track);
    SetUnitClamp(&light2Colour.track);
}

int32_t CSceneLight::ParseCommand(CReadStream* stream, uint32_t size, uint32_t* bytesRead) {
    CChunkReader reader(stream, size);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        switch (header.tag) {
            case kTagAmbient: ParseColour(&ambient, body); break;
            case kTagColour1: ParseColour(&light1Colour, body); break;
            case kTagColour2: ParseColour(&light2Colour, body); break;
            case kTagAngles1: light1Angles.Parse(body, kStoredAngles); break;
            case kTagAngles2: light2Angles.Parse(body, kStoredAngles); break;
            default: break;
        }
    }
    *bytesRead = size;
    return 0;
}

int32_t CSceneLight::Apply() {
    const int32_t t = ElapsedSince(startTime);
    const uint32_t running =
        ambient.Step(t) | light1Colour.Step(t) | light1Angles.Step(t) | light2Colour.Step(t) | light2Angles.Step(t);
    g_ShaderContext.SetAmbientLight(Rgb(ambient.value));
    g_ShaderContext.SetLight1(LightDirection(light1Angles.value), Rgb(light1Colour.value));
    g_ShaderContext.SetLight2(LightDirection(light2Angles.value), Rgb(light2Colour.value));
    return running ? 1 : 0;
}

void CSceneLight::Finish() {
    ambient.Finish();
    light1Colour.Finish();
    light1Angles.Finish();
    light2Colour.Finish();
    light2Angles.Finish();
}

int32_t CSceneLight::Save(CWriteStream* stream, uint32_t* byteCount) const {
    CSaveChunkWriter writer(stream);
    ambient.Save(writer, kTagAmbient, kStoredColour);
    light1Colour.Save(writer, kTagColour1, kStoredColour);
    light1Angles.Save(writer, kTagAngles1, kStoredAngles);
    light2Colour.Save(writer, kTagColour2, kStoredColour);
    light2Angles.Save(writer, kTagAngles2, kStoredAngles);
    *byteCount = writer.Total();
    return 0;
}

int32_t CSceneLight::Restore(CReadStream* stream, uint32_t size, uint32_t* bytesRead) {
    CChunkReader reader(stream, size, ReadSaveScrambled);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        switch (header.tag) {
            case kTagAmbient: ambient.Restore(body, kStoredColour); break;
            case kTagColour1: light1Colour.Restore(body, kStoredColour); break;
            case kTagColour2: light2Colour.Restore(body, kStoredColour); break;
            case kTagAngles1: light1Angles.Restore(body, kStoredAngles); break;
            case kTagAngles2: light2Angles.Restore(body, kStoredAngles); break;
            default: break;
        }
    }
    *bytesRead = size;
    return 0;
}

void CSceneLight::RemoveAllKeys() {
    ambient.track.RemoveAll();
    light1Colour.track.RemoveAll();
    light1Angles.track.RemoveAll();
    light2Colour.track.RemoveAll();
    light2Angles.track.RemoveAll();
}
