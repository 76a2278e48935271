uniform sampler2D glowMap;
uniform vec3 tint;
uniform float pulse;
uniform float seed;
uniform vec3 camUp;
varying vec2 uv;
void main() {
  float wave = 0.5 + 0.5 * sin(6.2831853 * fract(pulse + seed));
  float rim = 0.75 + 0.25 * abs(camUp.y);
  gl_FragColor = texture2D(glowMap, uv) * vec4(tint * wave * rim, 1.0);
}
