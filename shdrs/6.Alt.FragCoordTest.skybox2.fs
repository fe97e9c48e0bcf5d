// The Helsinki sky, 43 s to 95 s: a cold blue duotone of the city that thaws into
// full warm colour once "end" is raised at 55 s, with a slow hue breathing driven by
// "mixItUp" and fine scan lines laid on the screen's own pixel rows. The grade, fades
// included, comes from the vertex shader as one matrix and offset.
#version 330 core
in vec3 TexCoords;
flat in mat3 Grade;
flat in vec3 Lift;

out vec4 FragColor;

// The vignette is laid on the window's own pixels, always 1920 x 1080: cheaper than
// carrying the clip position to every pixel.
const vec2 kPixelToNdc = vec2(2.0 / 1920.0, 2.0 / 1080.0);

uniform samplerCube skybox;

void main()
{
    vec3 color = max(Grade * texture(skybox, TexCoords).rgb + Lift, 0.0);

    // Scan lines on alternate pixel rows, and a vignette.
    vec2 ndc = gl_FragCoord.xy * kPixelToNdc - 1.0;
    float rows = 0.94 + 0.06 * step(0.5, fract(gl_FragCoord.y * 0.5));
    FragColor = vec4(color * (rows * (1.0 - 0.28 * dot(ndc, ndc))), 1.0);
}
