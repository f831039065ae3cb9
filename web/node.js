// Under Node the program sees the locale it was started in, as a native program does;
// emscripten would otherwise name a UTF-8 one of its own.
Module.preRun = [() => {
  for (const name of ["LC_ALL", "LC_CTYPE", "LANG"]) ENV[name] = process.env[name];
}];
