namespace nyra::sim { int placeholder() { return 0; } }
