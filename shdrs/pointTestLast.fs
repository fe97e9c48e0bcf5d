// The closing logo, 247 s to 265 s: revealed by a soft wipe, shimmering under a passing
// light and a swaying sky, and faded to black before the timeline ends. No
// transcendental functions: the software rasteriser pays for each on every pixel.
#version 330 core
in vec2 TexCoord;
flat in vec2 QuadPixels;
out vec4 FragColor;

// Left at its default unit 0, where the scene binds the logo.
uniform sampler2D logo;
uniform float u_time;

// A sine-shaped wave of period 2 pi made of two parabolas.
float wave(float x)
{
    float t = fract(x * 0.15915494) * 2.0 - 1.0;
    return -4.0 * t * (1.0 - abs(t));
}

void main()
{
    float t = u_time - 247.0;

    // Fit the logo inside the quad at its own aspect; the quad's shape on screen comes
    // from the vertex shader.
    vec2 imageSize = vec2(textureSize(logo, 0));
    float quadAspect = QuadPixels.x / QuadPixels.y;
    float imageAspect = imageSize.x / max(imageSize.y, 1.0);
    vec2 fit = imageAspect > quadAspect ? vec2(1.0, quadAspect / imageAspect)
                                        : vec2(imageAspect / quadAspect, 1.0);
    // A slow settle: the logo starts a touch larger and comes to rest.
    float settle = 1.0 + 0.06 / (1.0 + t * t * 0.5);
    vec2 uv = (TexCoord - 0.5) / (fit * 0.96 * settle) + 0.5;

    // The shimmer: a faint ripple of the lookup that dies away, and a slow sway of the
    // sky above the letters, like an aurora's curtains.
    uv.x += 0.0025 * wave(uv.y * 40.0 + t * 5.0) / (1.0 + t * 0.4);
    uv.x += 0.006 * wave(uv.y * 18.0 + uv.x * 6.0 + t * 1.3) * smoothstep(0.62, 0.85, uv.y);
    vec2 inRange = step(vec2(0.0), uv) * step(uv, vec2(1.0));
    vec4 texel = texture(logo, clamp(uv, 0.0, 1.0));
    // The picture's own background would show the quad's edges against the black
    // frame; a feathered border melts it into the dark.
    vec2 border = min(uv, 1.0 - uv);
    float shown = texel.a * inRange.x * inRange.y * smoothstep(0.0, 0.14, border.x) * smoothstep(0.0, 0.22, border.y);
    vec3 color = texel.rgb * shown;

    // Reveal: a soft diagonal wipe from left to right during the first two seconds.
    float front = t * 0.75 - 0.2;
    float reveal = smoothstep(front + 0.15, front - 0.15, uv.x - 0.2 * (uv.y - 0.5));

    // A light band passes over the letters every four seconds.
    float across = (uv.x - uv.y * 0.4 - (fract(t * 0.25) * 2.2 - 0.6)) * 6.0;
    float band = max(1.0 - across * across, 0.0);
    band *= band;
    color += color * band * 0.9 + vec3(0.10, 0.09, 0.08) * band * shown;

    // Fine grain that keeps the fade free of banding.
    float grain = fract(52.9829189 * fract(dot(gl_FragCoord.xy, vec2(0.06711056, 0.00583715))));
    color += (grain - 0.5) * 0.012 * step(0.01, dot(color, vec3(1.0)));

    // Gone to black a little before 265 so that the last frames are clean.
    float fade = smoothstep(0.0, 0.6, t) * (1.0 - smoothstep(14.8, 17.6, t));
    FragColor = vec4(max(color, 0.0) * reveal * fade, 1.0);
}
