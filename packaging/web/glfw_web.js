// The two places where emscripten's GLFW must act as the browser needs rather than as a
// desktop does. Linked with --js-library; each entry replaces GLFW's own.
mergeInto(LibraryManager.library, {
  // The desktop loop presents and goes straight on with the next frame; a browser tab
  // shows nothing until the script returns. The program's while loop is unwound here
  // (asyncify) and resumed at the next animation frame, so the browser composites each
  // frame and the loop is otherwise the desktop's.
  glfwSwapBuffers__deps: ['$Asyncify'],
  glfwSwapBuffers__sig: 'vi',
  glfwSwapBuffers: function(winid) {
    return Asyncify.handleSleep(function(wakeUp) {
      requestAnimationFrame(function() { wakeUp(); });
    });
  },

  // A window on the primary monitor would have emscripten wrap the canvas and ask for
  // fullscreen itself, outside the click that allows it. The page makes its own box
  // fullscreen from the Play click and scales the canvas into it; the canvas stays
  // 1920 x 1080.
  glfwCreateWindow__deps: ['$GLFW'],
  glfwCreateWindow__sig: 'iiiiii',
  glfwCreateWindow: function(width, height, title, monitor, share) {
    return GLFW.createWindow(width, height, title, 0, share);
  },
});
