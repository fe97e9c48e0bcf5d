// The Tampere sky behind the greetings: the city cube turned by "transform3" about an
// axis that wanders with the clock.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 transform3;
uniform mat4 view;
uniform mat4 projection;

out vec3 TexCoords;

void main()
{
    TexCoords = mat3(transform3) * aPos;
    vec4 clip = projection * view * vec4(aPos, 1.0);
    // Depth 1 everywhere: the sky lies on the far plane behind the logos.
    gl_Position = clip.xyww;
}
