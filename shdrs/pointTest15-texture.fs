// The official picture of the opening: shown whole at its own aspect on a dark velvet
// mount, pushed in slowly, crossed by a highlight, faded out by 6 s. Kept free of
// transcendental functions, and whatever holds for the whole frame comes from the
// vertex shader: the software rasteriser pays for every operation on every pixel.
#version 330 core
in vec2 TexCoord;
flat in vec2 QuadPixels;
flat in vec4 PictureTiming;   // push, highlight position, fade, grain shift
out vec4 FragColor;

uniform sampler2D texture15;
uniform vec2 u_resolution;

void main()
{
    float push = PictureTiming.x;

    // Fit the picture inside the quad at its own aspect with a margin, pushed in by a
    // few percent.
    vec2 imageSize = vec2(textureSize(texture15, 0));
    float quadAspect = QuadPixels.x / QuadPixels.y;
    float imageAspect = imageSize.x / max(imageSize.y, 1.0);
    vec2 fit = (imageAspect > quadAspect ? vec2(1.0, quadAspect / imageAspect)
                                         : vec2(imageAspect / quadAspect, 1.0)) * 0.92;
    vec2 uv = (TexCoord - 0.5) * (push / fit) + 0.5;
    bool inside = all(greaterThanEqual(uv, vec2(0.0))) && all(lessThanEqual(uv, vec2(1.0)));

    // Outside the print: a dark mount, lighter towards the top.
    vec3 backdrop = mix(vec3(0.04, 0.035, 0.05), vec3(0.13, 0.11, 0.12), TexCoord.y);
    vec3 print = textureLod(texture15, clamp(uv, 0.0, 1.0), 0.0).rgb;

    // A thin pale edge, as on a mounted photograph.
    vec2 edgeDistance = min(uv, 1.0 - uv) * (fit * QuadPixels / push);
    float edge = 1.0 - smoothstep(2.0, 5.0, min(edgeDistance.x, edgeDistance.y));
    print = mix(print, vec3(0.92, 0.9, 0.86), edge * 0.8);

    // A soft highlight crosses the print once every few seconds.
    float across = (uv.x + uv.y * 0.35 - PictureTiming.y) * 5.0;
    float band = max(1.0 - across * across, 0.0);
    print += vec3(0.12, 0.11, 0.10) * (band * band);

    vec3 color = inside ? print : backdrop;

    // Screen-space vignette and a fine grain so the flat print does not band. The grain
    // is an interleaved-gradient pattern, shifted every frame.
    vec2 screen = gl_FragCoord.xy / u_resolution - 0.5;
    float vignette = 1.0 - 0.7 * dot(screen, screen);
    vec2 grainAt = gl_FragCoord.xy + PictureTiming.w * vec2(47.0, 17.0);
    float grain = fract(52.9829189 * fract(dot(grainAt, vec2(0.06711056, 0.00583715))));
    color = color * vignette + (grain - 0.5) * 0.025;

    // Faded in from black over the first frames and out before the title sky takes over.
    FragColor = vec4(color * PictureTiming.z, 1.0);
}
