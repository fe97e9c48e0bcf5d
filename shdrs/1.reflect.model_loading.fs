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
    float fresnel = 0.75 + 0.25 * pow(1.0 - facing, 5.0);
    // The night city is dark; polished metal still throws back more than it receives
    // from any one direction, so the reflection is lifted a little.
    vec3 chrome = pow(environment, vec3(0.8)) * vec3(0.95, 0.97, 1.0) * fresnel * 1.2;

    float highlight = pow(max(dot(r, normalize(kLightDirection)), 0.0), 60.0) * 1.3;
    FragColor = vec4(chrome + vec3(1.0, 0.97, 0.92) * highlight, 1.0);
}
