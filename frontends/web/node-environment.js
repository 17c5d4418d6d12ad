// The Node renderer reads its settings from the real environment, as the
// native one does (MOTHWAKES_PAN_FRAMES, MOTHWAKES_ANIMAL), and its standard
// streams are terminals only where they are: the runtime takes all three for
// terminals, and a progress bar would go into pipes and files.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  Object.assign(ENV, process.env);
  var createStandardStreams = FS.createStandardStreams;
  FS.createStandardStreams = function () {
    createStandardStreams();
    for (var fd = 0; fd < 3; ++fd) FS.streams[fd].tty = require('tty').isatty(fd);
  };
});
