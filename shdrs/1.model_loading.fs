// Shared by the donut and the ducks: the first diffuse map under a warm key light, a
// cool fill, a glaze-like highlight and a soft rim, so the models read as solid.
#version 330 core
in vec3 Normal;
in vec2 TexCoords;
in vec3 ToEye;
flat in float ShadingContrast;   // 1 full; less pulls the shading towards an even light

out vec4 FragColor;

uniform sampler2D texture_diffuse1;

const vec3 kKeyDirection  = vec3(0.45, 0.75, 0.50);    // towards the light, above right
const vec3 kKeyColor      = vec3(1.00, 0.94, 0.84);
const vec3 kFillDirection = vec3(-0.60, -0.20, 0.40);  // below left, bounced
const vec3 kFillColor     = vec3(0.30, 0.36, 0.50);
const vec3 kAmbient       = vec3(0.16, 0.16, 0.19);
// About what the key and fill give a surface turned half towards them.
const vec3 kEvenLight     = vec3(0.80, 0.76, 0.72);

void main()
{
    vec3 albedo = textureLod(texture_diffuse1, TexCoords, 0.0).rgb;
    vec3 n = normalize(Normal);
    vec3 v = normalize(ToEye);
    vec3 key = normalize(kKeyDirection);
    vec3 fill = normalize(kFillDirection);

    // Slightly wrapped diffuse keeps the shadow side from going flat black.
    float keyDiffuse = max((dot(n, key) + 0.2) / 1.2, 0.0);
    float fillDiffuse = max(dot(n, fill), 0.0);

    // A tight highlight, as on sugar glaze or a glossy toy.
    vec3 h = normalize(key + v);
    // Powers by squaring: pow costs two transcendental calls per pixel in software.
    float h2 = max(dot(n, h), 0.0);
    h2 *= h2;
    float h8 = h2 * h2;
    h8 *= h8;
    float h32 = h8 * h8;
    h32 *= h32;
    float highlight = h32 * h8 * h8 * 0.55;   // the 48th power

    // Rim light at grazing angles separates the model from the sky behind it.
    float facing = max(dot(n, v), 0.0);
    float grazing = (1.0 - facing) * (1.0 - facing);
    float rim = grazing * grazing * 0.35;

    vec3 color = albedo * (kAmbient + kKeyColor * keyDiffuse + kFillColor * fillDiffuse)
               + kKeyColor * highlight
               + vec3(0.55, 0.65, 0.85) * rim;
    // A select rather than mix at 1, which would round the donut's colours differently.
    if (ShadingContrast < 1.0) color = mix(albedo * kEvenLight, color, ShadingContrast);
    FragColor = vec4(color, 1.0);
}
