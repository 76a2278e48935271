uniform sampler2D shellMap;
uniform vec3 owner;
uniform float hit;
varying vec2 uv;
void main() {
  vec4 shell = texture2D(shellMap, uv);
  gl_FragColor = vec4(owner * shell.rgb, shell.a * (0.25 + 0.75 * hit));
}
