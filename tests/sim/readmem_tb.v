// Loads a VerilogHex image with $readmemh (with +binary, $readmemb) into a memory of W-bit
// words and prints every word, one a line after "W ", up to the given count and one past
// it (which must still be unset). Run with +file=<image> +words=<count>.
module readmem_tb;
  parameter W = 32;
  localparam DEPTH = 8192;
  reg [W-1:0] mem [0:DEPTH-1];
  reg [8*1024-1:0] file;
  integer i;
  integer words;
  initial begin
    if (!$value$plusargs("file=%s", file) || !$value$plusargs("words=%d", words)) begin
      $display("usage: +file=<image> +words=<count>");
      $finish;
    end
    for (i = 0; i < DEPTH; i = i + 1) mem[i] = {W{1'bx}};
    if ($test$plusargs("binary")) $readmemb(file, mem);
    else $readmemh(file, mem);
    for (i = 0; i <= words; i = i + 1) $display("W %h", mem[i]);
    $finish;
  end
endmodule
