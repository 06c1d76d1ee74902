/* A module for the run-time loading tests: exports one function by name and one by ordinal 2
   (the stand-in's convention: the symbol "ordinal_<n>"). */
int TestModuleAnswer(void) { return 42; }
int ordinal_2(void) { return 2; }
