// Loaded by bridge.html as a src script.
function helper(x) { return x * 21; }
