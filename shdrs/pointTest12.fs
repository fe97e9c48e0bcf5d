// The three-second shader picture, 40 s to 43 s: a flight down a tunnel of dark panels
// with neon seams, light pulses racing past, accelerating towards a white-hot core,
// then swallowed by black at 43 s. One atan is its only transcendental function: the
// software rasteriser pays for each on every pixel of the screen.
// Flashing: whatever is fixed to the tunnel's depth sweeps past a point of the screen
// 2.2 times per unit of travel, 4 to 19 times a second as the flight speeds up, far
// past the three flashes a second the flash limit allows. So the seams that ring the
// tunnel and the lit panels glow only faintly (less than a 0.10 change of luminance as
// they pass), and the bright neon stays on the seams running along it, which the twist
// and the swing sweep by slowly. flashcheck finds at most 2 flashes a second here.
#version 330 core
out vec4 FragColor;

uniform vec2 u_resolution;
uniform float u_time;

const float kPanelsPerTurn = 12.0;
const vec3 kSeamCyan    = vec3(0.15, 0.85, 1.00);
const vec3 kSeamMagenta = vec3(1.00, 0.20, 0.75);
const vec3 kPanelDark   = vec3(0.035, 0.02, 0.09);
const vec3 kPanelLit    = vec3(1.00, 0.45, 0.12);
const vec3 kCore        = vec3(1.00, 0.88, 0.70);
const float kSeamGlow   = 1.3;   // the seams along the tunnel
const float kRingGlow   = 0.16;  // the seams round it: a faint line, since they rush past
const float kLitGlow    = 0.3;   // lit panels pass as fast as the rings
const float kPulseOnSeam = 0.5;  // a pulse brightens the bright seams it crosses

// A cheap scramble of a panel's index into 0..1.
float hash(vec2 cell)
{
    float h = fract(cell.x * 0.7548777 + cell.y * 0.5698403);
    return fract(h * h * 71.31 + h * 13.7);
}

// A sine-shaped wave of period 2 pi made of two parabolas; far cheaper than sin on a
// software rasteriser.
float wave(float x)
{
    float t = fract(x * 0.15915494) * 2.0 - 1.0;
    return -4.0 * t * (1.0 - abs(t));
}

void main()
{
    float t = clamp(u_time - 40.0, 0.0, 3.0);
    vec2 p = (2.0 * gl_FragCoord.xy - u_resolution) / u_resolution.y;

    // The vanishing point swings a little, as if the flight followed a curve; slowly, since
    // it drags the seams crowding round it sideways past the eye.
    p -= 0.08 * vec2(wave(t * 1.9), wave(t * 1.4 + 1.5707963) - 1.0);
    float r = max(length(p), 1e-3);

    // Depth into the tunnel and the way round it; the flight speeds up and the tunnel
    // slowly twists.
    float travel = t * 2.0 + t * t * 1.1;
    float depth = 0.5 / r + travel;
    float around = atan(p.y, p.x) * (kPanelsPerTurn / 6.2831853) + depth * 0.05 + t * 0.2;

    // Panels with glowing seams; the panel index wraps so that no seam shows where the
    // angle jumps from -pi to pi.
    vec2 panel = vec2(around, depth * 2.2);
    vec2 cell = vec2(mod(floor(panel.x), kPanelsPerTurn), floor(panel.y));
    vec2 inCell = fract(panel) - 0.5;
    vec2 gap = (0.5 - abs(inCell)) * 14.0;
    float seam = 1.0 / (1.0 + gap.x * gap.x);
    float ring = 1.0 / (1.0 + gap.y * gap.y);
    float lit = hash(cell);

    vec3 seamColor = mix(kSeamCyan, kSeamMagenta, 0.5 + 0.5 * wave(depth * 0.8 - t * 2.5));
    float flicker = step(0.8, lit) * (0.55 + 0.45 * wave(t * 7.0 + lit * 40.0));
    vec3 color = mix(kPanelDark, kPanelLit * kLitGlow, flicker);
    color += seamColor * (seam * kSeamGlow + ring * kRingGlow);

    // Rings of light racing towards the viewer along the tunnel.
    float pulse = 0.5 + 0.5 * wave(depth * 2.2 - t * 9.0);
    pulse *= pulse;
    pulse *= pulse;
    pulse *= pulse;
    color += mix(seamColor, vec3(1.0), 0.6) * pulse * (0.15 + kPulseOnSeam * seam);

    // Fog towards the far end, where the pattern would only flicker, and the hot core.
    float fog = smoothstep(1.5, 8.0, 0.5 / r);
    color = mix(color, kCore * 0.8, fog);
    color += kCore * 0.05 / r;

    // In from black, and out again as the flight reaches the core.
    float fade = smoothstep(0.0, 0.35, t) * (1.0 - smoothstep(2.55, 2.98, t));
    FragColor = vec4(clamp(color, 0.0, 1.0) * fade, 1.0);
}
