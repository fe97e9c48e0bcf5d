// The plain sky, shared by the title, credits and duck-city skies: the cube map in the
// direction the vertex shader chose, under that sky's own tint, with a soft vignette.
#version 330 core
in vec3 TexCoords;
in vec4 ClipPos;
in vec3 SkyTint;

out vec4 FragColor;

uniform samplerCube skybox;

void main()
{
    vec2 ndc = ClipPos.xy / ClipPos.w;
    float vignette = 1.0 - 0.22 * dot(ndc, ndc);
    FragColor = vec4(texture(skybox, TexCoords).rgb * SkyTint * vignette, 1.0);
}
