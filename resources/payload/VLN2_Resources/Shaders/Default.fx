// Vorlane viewer default shader
float4 main(float4 colour : COLOR0) : COLOR { return colour; }
