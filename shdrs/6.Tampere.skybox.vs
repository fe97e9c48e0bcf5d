// The Tampere sky behind the greetings: the city cube turned by "transform3" about an
// axis that wanders with the clock.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 transform3;
uniform mat4 view;
uniform mat4 projection;
uniform float time;

out vec3 TexCoords;
flat out float Light;

// A sine-shaped wave of period 2 pi made of two parabolas.
float wave(float x)
{
    float t = fract(x * 0.15915494) * 2.0 - 1.0;
    return -4.0 * t * (1.0 - abs(t));
}

void main()
{
    TexCoords = mat3(transform3) * aPos;
    // A slow swell of light, once every twelve seconds, and the fades in and out: one
    // value for the whole frame, so worked out here rather than at every pixel.
    float fade = smoothstep(160.0, 161.5, time) * (1.0 - smoothstep(246.2, 247.0, time));
    Light = (0.9 + 0.1 * wave(time * 0.5236)) * fade;
    vec4 clip = projection * view * vec4(aPos, 1.0);
    // Depth 1 everywhere: the sky lies on the far plane behind the logos.
    gl_Position = clip.xyww;
}
