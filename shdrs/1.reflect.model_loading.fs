// Chrome: the sky cube map reflected about the surface normal, darkened a little head-on
// as polished metal is, with a sharp studio highlight.
#version 330 core
in vec3 FragPos;
in vec3 Normal;
in vec3 EyePos;

out vec4 FragColor;

// The only sampler: the mesh binds its own 2D maps to units 0.., and a 2D sampler
// sharing unit 0 with this cube map would make the draw invalid.
uniform samplerCube skybox;

const vec3 kLightDirection = vec3(-0.35, 0.85, -0.40);

void main()
{
    vec3 n = normalize(Normal);
    vec3 incident = normalize(FragPos - EyePos);
    vec3 r = reflect(incident, n);

    vec3 environment = texture(skybox, r).rgb;
    float facing = max(dot(-incident, n), 0.0);
    float fresnel = 0.62 + 0.38 * pow(1.0 - facing, 5.0);
    vec3 chrome = environment * vec3(0.93, 0.95, 1.0) * fresnel;

    // Contrast lift: chrome shows deep blacks next to bright reflections.
    chrome = chrome * chrome * (3.0 - 2.0 * chrome);

    float highlight = pow(max(dot(r, normalize(kLightDirection)), 0.0), 90.0);
    FragColor = vec4(chrome + vec3(1.0, 0.97, 0.92) * highlight, 1.0);
}
