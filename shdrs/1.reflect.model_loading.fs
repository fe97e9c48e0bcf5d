// Chrome: the sky cube map reflected about the surface normal, darkened a little head-on
// as polished metal is, with a sharp studio highlight.
#version 330 core
in vec3 Normal;
in vec3 ToEye;

out vec4 FragColor;

// The only sampler: the mesh binds its own 2D maps to units 0.., and a 2D sampler
// sharing unit 0 with this cube map would make the draw invalid.
uniform samplerCube skybox;

const vec3 kLightDirection = vec3(-0.35, 0.85, -0.40);

void main()
{
    vec3 n = normalize(Normal);
    vec3 incident = normalize(-ToEye);
    vec3 r = reflect(incident, n);

    vec3 environment = texture(skybox, r).rgb;
    float facing = max(dot(-incident, n), 0.0);
    float grazing = (1.0 - facing) * (1.0 - facing);
    float fresnel = 0.75 + 0.25 * grazing * grazing * (1.0 - facing);
    // The night city is dark; polished metal still throws back more than it receives
    // from any one direction, so the reflection is lifted a little.
    vec3 chrome = mix(environment, sqrt(environment), 0.4) * vec3(0.95, 0.97, 1.0) * fresnel * 1.2;

    // The 64th power by squaring: pow costs two transcendental calls per pixel in software.
    float highlight = max(dot(r, normalize(kLightDirection)), 0.0);
    highlight *= highlight;
    highlight *= highlight;
    highlight *= highlight;
    highlight *= highlight;
    highlight *= highlight;
    highlight *= highlight * 1.3;
    FragColor = vec4(chrome + vec3(1.0, 0.97, 0.92) * highlight, 1.0);
}
