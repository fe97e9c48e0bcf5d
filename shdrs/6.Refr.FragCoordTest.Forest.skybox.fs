// The two-shed city sky, 95 s to 130 s: seen first as if through moving water, dim and
// teal, while "end" is 1; when it drops to 0 after 106 s the picture clears in a flash
// into bright colour and the ripple calms. The grade, flash and fades come from the
// vertex shader as one matrix and offset, the ripple's phases and strength beside them.
#version 330 core
in vec3 TexCoords;
flat in mat3 Grade;
flat in vec3 Lift;
flat in vec4 Ripple;

out vec4 FragColor;

// The vignette is laid on the window's own pixels, always 1920 x 1080: cheaper than
// carrying the clip position to every pixel.
const vec2 kPixelToNdc = vec2(2.0 / 1920.0, 2.0 / 1080.0);

uniform samplerCube skybox;

// Sine-shaped waves of period 2 pi made of two parabolas; far cheaper than sin on a
// software rasteriser.
vec3 wave(vec3 x)
{
    vec3 t = fract(x * 0.15915494) * 2.0 - 1.0;
    return -4.0 * t * (1.0 - abs(t));
}

void main()
{
    // The ripple bends the view direction by a few degrees; a sky direction needs no
    // normalising before the lookup.
    vec3 d = TexCoords;
    vec3 ripple = wave(d.yzx * vec3(9.0, 7.0, 8.0) + Ripple.xyz);
    vec3 city = texture(skybox, d + ripple * (Ripple.w * length(d))).rgb;

    vec2 ndc = gl_FragCoord.xy * kPixelToNdc - 1.0;
    FragColor = vec4((Grade * city + Lift) * (1.0 - 0.25 * dot(ndc, ndc)), 1.0);
}
