// The page around the saver: the canvas fills the viewport and its pixels are
// the display's own (device pixels), frames are offered on every animation
// frame and drawn when due, and only the pixels each frame changed are put.
// window.quillmoor tells what is shown, for anyone curious and for tests.
Module['onRuntimeInitialized'] = function () {
  'use strict';
  var canvas = document.getElementById('saver');
  var context = canvas.getContext('2d', { alpha: false });
  var saver = startSaver(location.search);
  var status = { frames: 0, held: false, width: 0, height: 0, canvasWidth: 0, canvasHeight: 0, scale: 0 };
  window['quillmoor'] = status;

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
    if (width < 1 || height < 1 || (width === canvas.width && height === canvas.height && status.frames > 0)) return;
    canvas.width = width;
    canvas.height = height;
    if (Module['_quillmoor_resize'](saver, width, height, performance.now())) present();
  }

  // Animation frames stop while the page is hidden, and with them the saver.
  // The canvas's size is checked on every animation frame, so a change of
  // window size or of zoom (the device pixel ratio) is drawn before it is seen.
  function animate(now) {
    fit(Math.round(innerWidth * devicePixelRatio), Math.round(innerHeight * devicePixelRatio));
    if (document.visibilityState === 'visible' && Module['_quillmoor_frame'](saver, now)) present();
    status.held = !!Module['_quillmoor_held'](saver);
    requestAnimationFrame(animate);
  }
  requestAnimationFrame(animate);
};
