// A flat outline colour for the greeting tiles, for an outline pass drawn over a
// stencil mask.
#version 330 core
out vec4 FragColor;

void main()
{
    FragColor = vec4(0.95, 0.55, 0.20, 1.0);
}
