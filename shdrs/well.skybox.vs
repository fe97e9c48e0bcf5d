// The credits sky of window 2: the credits cube turned by "transform4" about its
// wandering axis.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 transform4;
uniform mat4 view;
uniform mat4 projection;

out vec3 TexCoords;
flat out vec3 SkyTint;   // one value per sky: not worth interpolating

void main()
{
    TexCoords = mat3(transform4) * aPos;
    vec4 clip = projection * view * vec4(aPos, 1.0);
    SkyTint = vec3(0.95, 0.98, 1.04);
    // Depth 1 everywhere: the sky lies on the far plane behind the planet.
    gl_Position = clip.xyww;
}
