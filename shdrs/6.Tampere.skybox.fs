// The Tampere sky, 160 s to 247 s: the city in a dusky rose grade that breathes slowly,
// darkened towards the edges so the greeting logos stand out in front of it.
#version 330 core
in vec3 TexCoords;
flat in float Light;     // the slow swell and the fades, one value per frame

out vec4 FragColor;

// The vignette is laid on the window's own pixels, always 1920 x 1080: cheaper than
// carrying the clip position to every pixel.
const vec2 kPixelToNdc = vec2(2.0 / 1920.0, 2.0 / 1080.0);

uniform samplerCube skybox;

// Shadows lean violet, highlights lean peach, and most of the own colour stays:
// mix(c, c * mix(violet, peach, lum) * 1.25, 0.55) is c times this grade.
const vec3 kViolet = vec3(0.20, 0.12, 0.30), kPeach = vec3(1.10, 0.92, 0.80);
const vec3 kGradeBase = 0.45 + 0.6875 * kViolet;
const vec3 kGradeSlope = 0.6875 * (kPeach - kViolet);

void main()
{
    vec3 city = texture(skybox, TexCoords).rgb;
    float lum = dot(city, vec3(0.299, 0.587, 0.114));
    vec2 ndc = gl_FragCoord.xy * kPixelToNdc - 1.0;
    FragColor = vec4(city * (kGradeBase + kGradeSlope * lum) * (Light * (1.0 - 0.3 * dot(ndc, ndc))), 1.0);
}
