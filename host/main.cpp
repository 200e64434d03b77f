// Placeholder until this service is implemented.
int main() { return 0; }
