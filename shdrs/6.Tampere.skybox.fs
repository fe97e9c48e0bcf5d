// The Tampere sky, 160 s to 247 s: the city in a dusky rose grade that breathes slowly,
// darkened towards the edges so the greeting logos stand out in front of it.
#version 330 core
in vec3 TexCoords;

out vec4 FragColor;

// The vignette is laid on the window's own pixels, always 1920 x 1080: cheaper than
// carrying the clip position to every pixel.
const vec2 kPixelToNdc = vec2(2.0 / 1920.0, 2.0 / 1080.0);

uniform samplerCube skybox;
uniform float time;

// A sine-shaped wave of period 2 pi made of two parabolas; far cheaper than sin on a
// software rasteriser.
float wave(float x)
{
    float t = fract(x * 0.15915494) * 2.0 - 1.0;
    return -4.0 * t * (1.0 - abs(t));
}

void main()
{
    vec3 city = texture(skybox, TexCoords).rgb;
    float lum = dot(city, vec3(0.299, 0.587, 0.114));

    // Shadows lean violet, highlights lean peach; most of the own colour stays.
    vec3 grade = mix(vec3(0.20, 0.12, 0.30), vec3(1.10, 0.92, 0.80), lum);
    vec3 color = mix(city, city * grade * 1.25, 0.55);

    // A slow swell of light, once every twelve seconds.
    color *= 0.9 + 0.1 * wave(time * 0.5236);

    vec2 ndc = gl_FragCoord.xy * kPixelToNdc - 1.0;
    color *= 1.0 - 0.3 * dot(ndc, ndc);

    float fade = smoothstep(160.0, 161.5, time) * (1.0 - smoothstep(246.2, 247.0, time));
    FragColor = vec4(color * fade, 1.0);
}
