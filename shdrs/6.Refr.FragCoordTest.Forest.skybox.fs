// The two-shed city sky, 95 s to 130 s: seen first as if through moving water, dim and
// teal, while "end" is 1; when it drops to 0 after 106 s the picture clears in a flash
// into bright colour and the ripple calms.
#version 330 core
in vec3 TexCoords;

out vec4 FragColor;

// The vignette is laid on the window's own pixels, always 1920 x 1080: cheaper than
// carrying the clip position to every pixel.
const vec2 kPixelToNdc = vec2(2.0 / 1920.0, 2.0 / 1080.0);

uniform samplerCube skybox;
uniform float time;
uniform float end;
uniform float mixItUp;   // ten times the time: the ripple's phase

// A sine-shaped wave of period 2 pi made of two parabolas; far cheaper than sin on a
// software rasteriser.
float wave(float x)
{
    float t = fract(x * 0.15915494) * 2.0 - 1.0;
    return -4.0 * t * (1.0 - abs(t));
}

void main()
{
    float clear = (1.0 - end) * smoothstep(106.0, 106.8, time);

    // The ripple bends the view direction by a few degrees; a sky direction needs no
    // normalising before the lookup.
    float strength = mix(0.045, 0.01, clear);
    vec3 d = TexCoords;
    vec3 ripple = vec3(wave(d.y * 9.0 + mixItUp * 0.07),
                       wave(d.z * 7.0 + mixItUp * 0.05),
                       wave(d.x * 8.0 - mixItUp * 0.06));
    vec3 city = texture(skybox, d + ripple * strength * length(d)).rgb;
    float lum = dot(city, vec3(0.299, 0.587, 0.114));

    vec3 underwater = mix(vec3(0.01, 0.05, 0.07), vec3(0.55, 0.85, 0.80), lum);
    underwater = mix(underwater, city, 0.25) * 0.8;
    vec3 daylight = mix(vec3(lum), city, 1.2) * vec3(1.04, 1.02, 0.96);
    vec3 color = mix(underwater, daylight, clear);

    // The moment of change: a white flash that dies in about a second.
    float flash = max(1.0 - (time - 106.0) * 0.9, 0.0);
    color += vec3(1.0, 0.97, 0.9) * (1.0 - end) * flash * flash * 0.8;

    vec2 ndc = gl_FragCoord.xy * kPixelToNdc - 1.0;
    color *= 1.0 - 0.25 * dot(ndc, ndc);

    float fade = smoothstep(95.0, 96.0, time) * (1.0 - smoothstep(129.2, 130.0, time));
    FragColor = vec4(color * fade, 1.0);
}
