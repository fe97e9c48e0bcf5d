// The title sky of the opening: the logo cube rocked by "transform3" around the eye.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 transform3;
uniform mat4 view;
uniform mat4 projection;

out vec3 TexCoords;
flat out vec3 SkyTint;   // one value per sky: not worth interpolating

const float kTitleSpread = 1.5;

void main()
{
    // Seen through the 45-degree lens a cube face shows only its middle; spreading the
    // directions sideways brings the whole title into the frame.
    TexCoords = mat3(transform3) * (aPos * vec3(kTitleSpread, kTitleSpread, 1.0));
    // This sky is handed the whole camera, eye offset included; a sky has no position,
    // so only the camera's rotation is kept.
    vec4 clip = projection * mat4(mat3(view)) * vec4(aPos, 1.0);
    SkyTint = vec3(1.0, 0.97, 0.93);
    // Depth 1 everywhere: the sky lies on the far plane behind everything else.
    gl_Position = clip.xyww;
}
