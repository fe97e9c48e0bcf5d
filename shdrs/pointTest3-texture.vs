// Textured quad of the opening picture and the closing logo: corners at +-0.5 with a
// colour and a texture coordinate, placed by the scene's three matrices.
#version 330 core
layout (location = 0) in vec3 aPos;
layout (location = 1) in vec3 aColor;
layout (location = 2) in vec2 aTexCoord;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
uniform vec2 u_resolution;
uniform float u_time;

out vec2 TexCoord;
// The quad's size on screen in pixels: both scenes draw it flat through an identity
// projection, so its matrix's diagonal gives it, once per corner instead of from
// screen derivatives at every pixel.
flat out vec2 QuadPixels;
// The opening picture's values for the whole frame: push-in, highlight position, fade
// and grain shift. The closing logo's shader reads none of them.
flat out vec4 PictureTiming;

void main()
{
    TexCoord = aTexCoord;
    mat4 placement = projection * view * model;
    QuadPixels = abs(vec2(placement[0].x, placement[1].y)) * u_resolution * 0.5;
    PictureTiming = vec4(1.0 - 0.05 * smoothstep(-13.0, 6.0, u_time),
                         fract(u_time * 0.23) * 3.0 - 1.0,
                         smoothstep(-12.5, -11.0, u_time) * (1.0 - smoothstep(5.1, 5.95, u_time)),
                         fract(u_time * 7.0));
    gl_Position = placement * vec4(aPos, 1.0);
}
