// The greetings wall: thirty-six tiles laid out from the per-instance offsets, rolled by
// "model", rippled by "timer" and set in front of the wide-angle lens.
#version 330 core
layout (location = 0) in vec3 aPos;
layout (location = 1) in vec2 aTexCoord;

uniform mat4 projection;
uniform mat4 view;
uniform mat4 model;
// One offset per instance; the offset attribute advances only every second instance.
uniform vec2 offsets[36];
uniform float timer;
uniform sampler2D texture1;

out vec2 TexCoord;
out float Shade;

const vec2 kGridCentre = vec2(0.972727, -1.3);   // middle of the 6 x 6 offset grid
const float kColumnSpread = 1.5;                 // wider columns for wide logos
const float kMaxTileWidth = 1.85;                // keeps a gap between columns
const float kDistance = 3.4;                     // from the eye to the wall

void main()
{
    vec2 cell = offsets[gl_InstanceID] - kGridCentre;

    // "timer" runs through tan's poles and takes any value; 2 atan(timer) is an angle
    // that goes smoothly round the circle instead, so the motion never jumps.
    float phase = 2.0 * atan(timer) + 0.55 * cell.x + 0.35 * cell.y;
    float wave = sin(phase);
    float turn = 0.45 * cos(phase);

    // Each tile takes its logo's aspect, within the room the grid leaves.
    vec2 logoSize = vec2(textureSize(texture1, 0));
    float width = clamp(logoSize.x / max(logoSize.y, 1.0), 0.6, kMaxTileWidth);
    vec2 corner = aPos.xy * vec2(width, 1.0);
    vec3 tile = vec3(corner.x * cos(turn), corner.y, corner.x * sin(turn));

    vec3 wall = vec3(cell.x * kColumnSpread, cell.y, 0.5 * wave) + tile;
    wall = mat3(model) * wall;

    // The scene's camera lurches wherever tan takes it; the wall stays in front of the
    // lens and only drifts with the eye's sideways sway, which stays bounded.
    vec3 eye = inverse(view)[3].xyz;
    wall.xy -= 0.2 * vec2(eye.x, eye.y + 2.0);
    // The wider lens after 205 s would shrink the wall to a stamp; half of that is
    // taken back by moving it closer (0.4663 is the focal factor of the 130-degree lens).
    float distance = kDistance * mix(1.0, projection[1][1] / 0.4663, 0.5);
    gl_Position = projection * vec4(wall - vec3(0.0, 0.0, distance), 1.0);

    TexCoord = aTexCoord;
    // Tiles turned away or pushed back catch less light.
    Shade = 0.62 + 0.28 * cos(turn) + 0.14 * wave;
}
