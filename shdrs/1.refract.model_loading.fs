// Cut glass: face normals from the screen derivatives (the cube has none of its own),
// the sky refracted with a little dispersion and reflected by Fresnel's rule.
#version 330 core
in vec3 ToEye;

out vec4 FragColor;

// Only the cube map on unit 0; the mesh's 2D maps on units 0.. are left unsampled.
uniform samplerCube skybox;

const vec3 kKeyDirection = vec3(0.3, 0.8, -0.5);   // towards the light, above the camera

void main()
{
    vec3 incident = normalize(-ToEye);
    // The surface's slope across the screen gives the facet normal (the position's
    // derivatives are these negated, which the cross product does not see). Facing the
    // eye whatever the winding: the scene mirrors the ships with negative scales.
    vec3 n = normalize(cross(dFdx(ToEye), dFdy(ToEye)));
    if (dot(n, incident) > 0.0)
        n = -n;

    // Red bends least and blue most, for a faint rainbow at the facet edges.
    vec3 refracted;
    refracted.r = texture(skybox, refract(incident, n, 1.0 / 1.50)).r;
    refracted.g = texture(skybox, refract(incident, n, 1.0 / 1.52)).g;
    refracted.b = texture(skybox, refract(incident, n, 1.0 / 1.55)).b;
    vec3 reflected = texture(skybox, reflect(incident, n)).rgb;

    float cosine = max(dot(-incident, n), 0.0);
    float grazing = (1.0 - cosine) * (1.0 - cosine);
    float fresnel = 0.04 + 0.96 * grazing * grazing * (1.0 - cosine);
    vec3 glass = mix(refracted * vec3(0.86, 0.95, 1.0), reflected, fresnel);

    // Glass thick at grazing angles picks up a little more of its green-blue tint.
    glass *= mix(vec3(1.0), vec3(0.8, 0.95, 0.95), grazing);

    // Against a night sky clear glass all but vanishes: facets that turn towards the
    // key light flash, and the edges hold a faint cold glow.
    float glint = max(dot(reflect(incident, n), normalize(kKeyDirection)), 0.0);
    glint *= glint;
    glint *= glint;
    glint *= glint;
    glint *= glint;   // the 16th power by squaring
    glass += vec3(1.0, 0.95, 0.85) * glint * 0.9 + vec3(0.25, 0.45, 0.55) * grazing * (1.0 - cosine);
    FragColor = vec4(glass, 1.0);
}
