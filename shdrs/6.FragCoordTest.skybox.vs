// Sky of the Helsinki and two-shed city windows. "transform3" may carry a wild stretch
// (factors like 0.2 / cos t); its rotation is kept and the stretch tamed to a breath.
// Each window's colour grade is worked out here, once per corner instead of once per
// pixel: every step of it is linear in the sky's colour, so the whole grade, fades
// included, is one matrix and one offset that the fragment shaders apply.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 transform3;
uniform mat4 view;
uniform mat4 projection;
uniform float time;
uniform float end;
uniform float mixItUp;

out vec3 TexCoords;
flat out mat3 Grade;
flat out vec3 Lift;
flat out vec4 Ripple;     // the two-shed city's ripple: phases, then strength

const vec3 kLuma = vec3(0.299, 0.587, 0.114);
const vec3 kOnes = vec3(1.0);

// The transform is a diagonal stretch times a rotation, so its rows are the rotation's
// rows, each scaled by one stretch factor. Rebuild it with the factors compressed.
mat3 tamed(mat3 m)
{
    mat3 rows = transpose(m);
    vec3 lengths = vec3(length(rows[0]), length(rows[1]), length(rows[2]));
    bool usable = all(greaterThan(lengths, vec3(1e-12))) && all(lessThan(lengths, vec3(1e12)));
    if (!usable)
        return mat3(1.0);
    vec3 logs = log(lengths);
    vec3 stretch = exp(clamp((logs - (logs.x + logs.y + logs.z) / 3.0) * 0.35, -0.45, 0.45));
    mat3 result = transpose(mat3(rows[0] * (stretch.x / lengths.x),
                                 rows[1] * (stretch.y / lengths.y),
                                 rows[2] * (stretch.z / lengths.z)));
    // Negative factors would mirror the city; keep the turn, drop the mirror.
    return determinant(m) < 0.0 ? -result : result;
}

// Colour c mixed with its own grey: mix(vec3(lum), c, amount) as a matrix.
mat3 saturation(float amount)
{
    return mat3(amount) + outerProduct(kOnes, kLuma) * (1.0 - amount);
}

// Helsinki, 43 s to 95 s: a cold blue duotone of the city that thaws into full warm
// colour once "end" is raised at 55 s, with a slow hue sway driven by "mixItUp".
void helsinkiGrade(out mat3 grade, out vec3 lift)
{
    // Before the thaw: night-blue shadows rising to pale ice, a trace of the real colour.
    const vec3 night = vec3(0.03, 0.06, 0.14), ice = vec3(0.78, 0.88, 1.0);
    mat3 frozen = (outerProduct(ice - night, kLuma) * 0.85 + mat3(0.15)) * 0.9;
    vec3 frozenLift = night * (0.85 * 0.9);
    // After it: the city in its own colours, a touch warmer and more saturated.
    mat3 thawed = mat3(vec3(1.06, 0.0, 0.0), vec3(0.0, 1.0, 0.0), vec3(0.0, 0.0, 0.93)) * saturation(1.18);
    float thaw = end * smoothstep(55.0, 58.0, time);

    // mixItUp is -tan(time): it leaps through infinity twice a turn, but the angle
    // 2 atan(mixItUp) goes smoothly round the circle, so its sine, 2m / (1 + m^2),
    // steers a gentle hue sway without a jump. The sway turns colours about the grey
    // axis by a tenth of a radian or so, where cos and sin are their first terms.
    float sway = 2.0 * mixItUp / (1.0 + mixItUp * mixItUp);
    float angle = 0.12 * sway, c = 1.0 - 0.5 * angle * angle;
    const vec3 grey = vec3(0.57735027);
    mat3 turn = mat3(c) + mat3(cross(grey, vec3(1.0, 0.0, 0.0)), cross(grey, vec3(0.0, 1.0, 0.0)),
                               cross(grey, vec3(0.0, 0.0, 1.0))) * angle
              + outerProduct(grey, grey) * (1.0 - c);

    float fade = smoothstep(43.0, 44.2, time) * (1.0 - smoothstep(94.2, 95.0, time));
    grade = turn * (frozen * (1.0 - thaw) + thawed * thaw) * fade;
    lift = turn * frozenLift * ((1.0 - thaw) * fade);
}

// Two-shed city, 95 s to 130 s: seen first as if through moving water, dim and teal,
// while "end" is 1; when it drops to 0 after 106 s the picture clears in a flash into
// bright colour and the ripple calms.
void twoShedGrade(out mat3 grade, out vec3 lift, out vec4 ripple)
{
    float clear = (1.0 - end) * smoothstep(106.0, 106.8, time);
    const vec3 deep = vec3(0.01, 0.05, 0.07), shallow = vec3(0.55, 0.85, 0.80);
    mat3 underwater = (outerProduct(shallow - deep, kLuma) * 0.75 + mat3(0.25)) * 0.8;
    vec3 underwaterLift = deep * (0.75 * 0.8);
    mat3 daylight = mat3(vec3(1.04, 0.0, 0.0), vec3(0.0, 1.02, 0.0), vec3(0.0, 0.0, 0.96)) * saturation(1.2);

    // The moment of change: a white flash that dies in about a second.
    float flash = max(1.0 - (time - 106.0) * 0.9, 0.0);
    vec3 flashLift = vec3(1.0, 0.97, 0.9) * ((1.0 - end) * flash * flash * 0.8);

    float fade = smoothstep(95.0, 96.0, time) * (1.0 - smoothstep(129.2, 130.0, time));
    grade = (underwater * (1.0 - clear) + daylight * clear) * fade;
    lift = (underwaterLift * (1.0 - clear) + flashLift) * fade;
    // mixItUp is ten times the time here: the ripple's phase.
    ripple = vec4(mixItUp * vec3(0.07, 0.05, -0.06), mix(0.045, 0.01, clear));
}

void main()
{
    Ripple = vec4(0.0);
    if (time < 95.0)
        helsinkiGrade(Grade, Lift);
    else
        twoShedGrade(Grade, Lift, Ripple);

    TexCoords = tamed(mat3(transform3)) * aPos;
    vec4 clip = projection * view * vec4(aPos, 1.0);
    // Depth 1 everywhere: the sky lies on the far plane behind the ships.
    gl_Position = clip.xyww;
}
