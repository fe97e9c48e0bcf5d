// The title sky of the opening: the logo cube rocked by "transform3" around the eye.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 transform3;
uniform mat4 view;
uniform mat4 projection;

out vec3 TexCoords;
out vec4 ClipPos;
out vec3 SkyTint;

void main()
{
    TexCoords = mat3(transform3) * aPos;
    // This sky is handed the whole camera, eye offset included; a sky has no position,
    // so only the camera's rotation is kept.
    vec4 clip = projection * mat4(mat3(view)) * vec4(aPos, 1.0);
    ClipPos = clip;
    SkyTint = vec3(1.0, 0.97, 0.93);
    // Depth 1 everywhere: the sky lies on the far plane behind everything else.
    gl_Position = clip.xyww;
}
