// One greeting tile: the logo on unit 0, cut out where it is transparent so the sky
// shows through, lit by the tile's turn and edged with a thin bevel.
#version 330 core
in vec2 TexCoord;
in float Shade;

out vec4 FragColor;

uniform sampler2D texture1;

void main()
{
    vec4 logo = texture(texture1, TexCoord);
    if (logo.a < 0.5)
        discard;
    vec2 edge = min(TexCoord, 1.0 - TexCoord);
    float bevel = smoothstep(0.0, 0.035, min(edge.x, edge.y));
    FragColor = vec4(logo.rgb * Shade * (0.6 + 0.4 * bevel), 1.0);
}
