// The Helsinki sky, 43 s to 95 s: a cold blue duotone of the city that thaws into
// full warm colour once "end" is raised at 55 s, with a slow hue breathing driven by
// "mixItUp" and fine scan lines laid on the screen's own pixel rows.
#version 330 core
in vec3 TexCoords;

out vec4 FragColor;

// The vignette is laid on the window's own pixels, always 1920 x 1080: cheaper than
// carrying the clip position to every pixel.
const vec2 kPixelToNdc = vec2(2.0 / 1920.0, 2.0 / 1080.0);

uniform samplerCube skybox;
uniform float time;
uniform float end;
uniform float mixItUp;

// Rotation of a colour about the grey axis by a small angle (a tenth of a radian or so,
// where cos and sin are their first terms).
vec3 shiftHue(vec3 color, float angle)
{
    const vec3 grey = vec3(0.57735027);
    float c = 1.0 - 0.5 * angle * angle;
    return color * c + cross(grey, color) * angle + grey * dot(grey, color) * (1.0 - c);
}

void main()
{
    vec3 city = texture(skybox, TexCoords).rgb;
    float lum = dot(city, vec3(0.299, 0.587, 0.114));

    // Before the thaw: night-blue shadows rising to pale ice, a trace of the real colour.
    vec3 frozen = mix(vec3(0.03, 0.06, 0.14), vec3(0.78, 0.88, 1.0), lum);
    frozen = mix(frozen, city, 0.15) * 0.9;
    // After it: the city in its own colours, a touch warmer and more saturated.
    vec3 thawed = mix(vec3(lum), city, 1.18) * vec3(1.06, 1.0, 0.93);
    float thaw = end * smoothstep(55.0, 58.0, time);
    vec3 color = mix(frozen, thawed, thaw);

    // mixItUp is -tan(time): it leaps through infinity twice a turn, but the angle
    // 2 atan(mixItUp) goes smoothly round the circle, so its sine, 2m / (1 + m^2),
    // steers a gentle hue sway without a jump.
    float sway = 2.0 * mixItUp / (1.0 + mixItUp * mixItUp);
    color = max(shiftHue(color, 0.12 * sway), 0.0);

    // Scan lines on alternate pixel rows, and a vignette.
    color *= 0.94 + 0.06 * step(0.5, fract(gl_FragCoord.y * 0.5));
    vec2 ndc = gl_FragCoord.xy * kPixelToNdc - 1.0;
    color *= 1.0 - 0.28 * dot(ndc, ndc);

    float fade = smoothstep(43.0, 44.2, time) * (1.0 - smoothstep(94.2, 95.0, time));
    FragColor = vec4(color * fade, 1.0);
}
