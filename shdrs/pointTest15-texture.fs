// The official picture of the opening: shown whole at its own aspect on a dark velvet
// mount, pushed in slowly, crossed by a highlight, faded out by 6 s. Kept free of
// transcendental functions: the software rasteriser pays for each one on every pixel.
#version 330 core
in vec2 TexCoord;
out vec4 FragColor;

uniform sampler2D texture15;
uniform float u_time;
uniform vec2 u_resolution;

void main()
{
    // The quad's shape on screen comes from the scene's matrices; its derivatives give
    // it exactly (the projection is affine), so the picture is never stretched.
    vec2 quadPixels = 1.0 / max(abs(vec2(dFdx(TexCoord.x), dFdy(TexCoord.y))), vec2(1e-6));
    vec2 imageSize = vec2(textureSize(texture15, 0));
    float quadAspect = quadPixels.x / quadPixels.y;
    float imageAspect = imageSize.x / max(imageSize.y, 1.0);

    // Fit the picture inside the quad with a margin, and push in by a few percent.
    float push = 1.0 - 0.05 * smoothstep(-13.0, 6.0, u_time);
    vec2 fit = imageAspect > quadAspect ? vec2(1.0, quadAspect / imageAspect)
                                        : vec2(imageAspect / quadAspect, 1.0);
    fit *= 0.92;
    vec2 centred = TexCoord - 0.5;
    vec2 uv = centred / fit * push + 0.5;
    bool inside = all(greaterThanEqual(uv, vec2(0.0))) && all(lessThanEqual(uv, vec2(1.0)));

    // Outside the print: a dark mount, lighter towards the top.
    vec3 backdrop = mix(vec3(0.04, 0.035, 0.05), vec3(0.13, 0.11, 0.12), TexCoord.y);
    vec3 print = texture(texture15, clamp(uv, 0.0, 1.0)).rgb;

    // A thin pale edge, as on a mounted photograph.
    vec2 edgeDistance = min(uv, 1.0 - uv) * fit * quadPixels / push;
    float edge = 1.0 - smoothstep(2.0, 5.0, min(edgeDistance.x, edgeDistance.y));
    print = mix(print, vec3(0.92, 0.9, 0.86), edge * 0.8);

    // A soft highlight crosses the print once every few seconds.
    float sweep = fract(u_time * 0.23) * 3.0 - 1.0;
    float across = (uv.x + uv.y * 0.35 - sweep) * 5.0;
    float band = max(1.0 - across * across, 0.0);
    band *= band;
    print += vec3(0.12, 0.11, 0.10) * band;

    vec3 color = inside ? print : backdrop;

    // Screen-space vignette and a fine grain so the flat print does not band.
    vec2 screen = gl_FragCoord.xy / u_resolution;
    float vignette = 1.0 - 0.35 * dot(screen - 0.5, screen - 0.5) * 2.0;
    // Grain from an interleaved-gradient pattern, shifted every frame.
    vec2 grainAt = gl_FragCoord.xy + fract(u_time * 7.0) * vec2(47.0, 17.0);
    float grain = fract(52.9829189 * fract(dot(grainAt, vec2(0.06711056, 0.00583715))));
    color = color * vignette + (grain - 0.5) * 0.025;

    // Fade in from black over the first frames and out before the title sky takes over.
    float fade = smoothstep(-12.5, -11.0, u_time) * (1.0 - smoothstep(5.1, 5.95, u_time));
    FragColor = vec4(color * fade, 1.0);
}
