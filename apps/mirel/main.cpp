// mirel: the host program.
int main() { return 0; }
