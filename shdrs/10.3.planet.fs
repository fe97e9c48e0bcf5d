// Planet shading: a sunlit hemisphere with a soft terminator, a glint on the bright
// side, faint lights on the night side and a blue atmosphere glowing at the limb.
#version 330 core
in vec3 Normal;
in vec2 TexCoords;
in vec3 ToEye;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;

const vec3 kSunDirection = vec3(0.80, 0.45, 0.55);   // towards the sun
const vec3 kSunColor     = vec3(1.00, 0.95, 0.86);
const vec3 kAirColor     = vec3(0.30, 0.60, 1.00);

void main()
{
    vec3 n = normalize(Normal);
    vec3 v = normalize(ToEye);
    vec3 sun = normalize(kSunDirection);
    float ndl = dot(n, sun);

    // The surface: the model's own colours, a little deeper and bluer, like land and sea
    // seen through air.
    vec3 albedo = texture(texture_diffuse1, TexCoords).rgb;
    albedo = mix(albedo, albedo * vec3(0.75, 0.9, 1.15), 0.4);

    // Day side with a soft terminator; night side almost black.
    float day = smoothstep(-0.12, 0.45, ndl);
    vec3 color = albedo * kSunColor * (max(ndl, 0.0) * 1.15 + 0.04) * mix(0.4, 1.0, day);

    // The sun's glint where the surface faces half-way between sun and eye.
    vec3 h = normalize(sun + v);
    // The 64th power by squaring: pow costs two transcendental calls per pixel in software.
    float glint = max(dot(n, h), 0.0);
    glint *= glint;
    glint *= glint;
    glint *= glint;
    glint *= glint;
    glint *= glint;
    glint *= glint;
    color += kSunColor * glint * 0.45 * day;

    // Night lights: bright texels on the dark side glow a warm orange.
    float lum = dot(albedo, vec3(0.299, 0.587, 0.114));
    color += vec3(1.0, 0.62, 0.28) * smoothstep(0.45, 0.85, lum) * (1.0 - day) * 0.35;

    // Atmosphere: strongest at the limb and on the lit side, a thin blue line at the
    // terminator's edge.
    float away = 1.0 - max(dot(n, v), 0.0);
    float limb = away * away;
    float lit = smoothstep(-0.35, 0.5, ndl);
    color += kAirColor * limb * (0.25 + 1.6 * lit);

    FragColor = vec4(color, 1.0);
}
