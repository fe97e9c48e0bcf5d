// The three-second shader picture, 40 s to 43 s: a tunnel of light rushing towards a
// bright core, accelerating, its colours turning, then swallowed by black at 43 s.
#version 330 core
out vec4 FragColor;

uniform vec2 u_resolution;
uniform float u_time;

// A cosine colour ramp: deep violet through magenta to warm gold.
vec3 ramp(float x)
{
    return vec3(0.55, 0.35, 0.45) + vec3(0.45, 0.35, 0.4) * cos(6.2831853 * (vec3(1.0, 0.9, 0.8) * x + vec3(0.0, 0.25, 0.55)));
}

void main()
{
    float t = clamp(u_time - 40.0, 0.0, 3.0);
    vec2 p = (2.0 * gl_FragCoord.xy - u_resolution) / u_resolution.y;

    // The vanishing point wanders a little, as if the camera were flying a curve.
    p -= 0.18 * vec2(sin(t * 1.7), cos(t * 1.3) - 1.0);

    float r = max(length(p), 1e-3);
    float angle = atan(p.y, p.x);

    // Depth into the tunnel; the flight speeds up over the three seconds.
    float travel = t * 1.6 + t * t * 0.9;
    float depth = 0.45 / r + travel;
    float twist = angle * 1.27324 + depth * 0.35 + t * 0.6;   // 8 spokes per turn

    // Rings of light crossing sharp spokes; both soften with distance so the far end
    // of the tunnel melts into the core instead of flickering.
    float rings = pow(0.5 + 0.5 * cos(depth * 12.566371), 8.0);
    float spokes = pow(abs(sin(twist * 3.1415927)), 14.0);
    float nearness = smoothstep(0.04, 0.9, r);
    float light = (rings * 0.9 + spokes * 0.55 + rings * spokes * 1.5) * nearness;

    vec3 color = ramp(depth * 0.08 + t * 0.12) * light;
    // The core: a hot glow where the tunnel ends, and a fog that thins outwards.
    color += vec3(1.0, 0.8, 0.6) * 0.05 / r;
    color += ramp(t * 0.2 + 0.4) * 0.25 * (1.0 - nearness);

    // A slight darkening of the corners.
    color *= 1.0 - 0.25 * dot(p, p) * 0.25;

    // In from black, and out again as the flight reaches the core.
    float fade = smoothstep(0.0, 0.35, t) * (1.0 - smoothstep(2.55, 2.98, t));
    FragColor = vec4(clamp(color, 0.0, 1.0) * fade, 1.0);
}
