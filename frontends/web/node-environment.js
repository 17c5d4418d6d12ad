// The Node renderer reads its settings from the real environment, as the
// native one does (MOTHWAKES_PAN_FRAMES, MOTHWAKES_ANIMAL).
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  Object.assign(ENV, process.env);
});
