// The plain sky, shared by the title, credits and duck-city skies: the cube map in the
// direction the vertex shader chose, under that sky's own tint, with a soft vignette.
#version 330 core
in vec3 TexCoords;
flat in vec3 SkyTint;

out vec4 FragColor;

// The vignette is laid on the window's own pixels, always 1920 x 1080: cheaper than
// carrying the clip position to every pixel.
const vec2 kPixelToNdc = vec2(2.0 / 1920.0, 2.0 / 1080.0);

uniform samplerCube skybox;

void main()
{
    vec2 ndc = gl_FragCoord.xy * kPixelToNdc - 1.0;
    float vignette = 1.0 - 0.22 * dot(ndc, ndc);
    FragColor = vec4(texture(skybox, TexCoords).rgb * SkyTint * vignette, 1.0);
}
