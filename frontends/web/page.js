// The page around the saver: the canvas fills the viewport and its pixels are
// the display's own (device pixels), frames are offered on every animation
// frame and drawn when due, and only the pixels each frame changed are put.
// A viewport too big for the memory to be had is drawn with fewer pixels,
// each shown over a square of device pixels, and in device pixels again once
// it is smaller. window.quillmoor tells what is shown, for anyone curious and
// for tests (shrink: device pixels per canvas pixel along each side, 0 when
// nothing could be drawn).
Module['onRuntimeInitialized'] = function () {
  'use strict';
  var canvas = document.getElementById('saver');
  var context = canvas.getContext('2d', { alpha: false });
  var saver = startSaver(location.search);
  var status = { frames: 0, held: false, width: 0, height: 0, canvasWidth: 0, canvasHeight: 0, scale: 0, shrink: 1 };
  window['quillmoor'] = status;
  var wanted = { width: 0, height: 0 };  // the viewport in device pixels

  function startSaver(query) {
    var settings = Module['_quillmoor_settings']();
    new URLSearchParams(query).forEach(function (value, name) {
      ccall('quillmoor_setting', 'number', ['number', 'string', 'string'], [settings, name, value]);
    });
    return Module['_quillmoor_start'](settings);
  }

  function present() {
    var w = canvas.width, h = canvas.height;
    var pixels = new Uint8ClampedArray(HEAPU8.buffer, Module['_quillmoor_pixels'](saver), w * h * 4);
    var image = new ImageData(pixels, w, h);
    var rects = Module['_quillmoor_damage_count'](saver);
    for (var i = 0; i < rects; i++) {
      var part = function (k) { return Module['_quillmoor_damage_part'](saver, i, k); };
      context.putImageData(image, 0, 0, part(0), part(1), part(2), part(3));
    }
    status.frames = Module['_quillmoor_frames_drawn'](saver);
    status.width = w;
    status.height = h;
    status.canvasWidth = Module['_quillmoor_canvas_width'](saver);
    status.canvasHeight = Module['_quillmoor_canvas_height'](saver);
    status.scale = Module['_quillmoor_scale'](saver);
  }

  function fit(width, height) {
    if (width < 1 || height < 1 || (width === wanted.width && height === wanted.height)) return;
    wanted = { width: width, height: height };
    show(1);
  }

  // Draws the viewport at 1/shrink of its device pixels along each side, or
  // at half that, a quarter ... while memory runs short, saying so once.
  function show(shrink) {
    var w, h, drawn;
    for (; ; shrink *= 2) {
      w = Math.ceil(wanted.width / shrink);
      h = Math.ceil(wanted.height / shrink);
      drawn = Module['_quillmoor_resize'](saver, w, h, performance.now());
      if (drawn >= 0 || (w === 1 && h === 1)) break;
    }
    status.shrink = drawn >= 0 ? shrink : 0;
    // A canvas given its size again is cleared: black where nothing is drawn.
    if (drawn < 0 || canvas.width !== w || canvas.height !== h) {
      canvas.width = w;
      canvas.height = h;
    }
    if (drawn > 0) present();
    if (shrink === 1 && drawn >= 0) return;
    console.warn('quillmoor-mothwake: not enough memory for ' + wanted.width + 'x' + wanted.height + ' pixels; '
      + (drawn >= 0 ? 'drawing ' + w + 'x' + h + ', each over ' + shrink + 'x' + shrink + ' device pixels'
        : 'the page stays black'));
  }

  // Animation frames stop while the page is hidden, and with them the saver.
  // The canvas's size is checked on every animation frame, so a change of
  // window size or of zoom (the device pixel ratio) is drawn before it is seen.
  function animate(now) {
    fit(Math.round(innerWidth * devicePixelRatio), Math.round(innerHeight * devicePixelRatio));
    var drawn = document.visibilityState === 'visible' ? Module['_quillmoor_frame'](saver, now) : 0;
    if (drawn < 0) show(status.shrink * 2);
    if (drawn > 0) present();
    status.held = !!Module['_quillmoor_held'](saver);
    requestAnimationFrame(animate);
  }
  requestAnimationFrame(animate);
};
