// Sky of the Helsinki and two-shed city windows. "transform3" may carry a wild stretch
// (factors like 0.2 / cos t); its rotation is kept and the stretch tamed to a breath.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 transform3;
uniform mat4 view;
uniform mat4 projection;

out vec3 TexCoords;

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

void main()
{
    TexCoords = tamed(mat3(transform3)) * aPos;
    vec4 clip = projection * view * vec4(aPos, 1.0);
    // Depth 1 everywhere: the sky lies on the far plane behind the ships.
    gl_Position = clip.xyww;
}
