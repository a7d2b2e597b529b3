// Mouse, touch and keys on the view.
'use strict';

var proof = require('./host-page').proof;

exports.bindInput = function () {
  var self = this;
  var stage = this.stage;
  stage.addEventListener('wheel', function (event) {
    event.preventDefault();
    var point = self.stagePoint(event);
    self.zoomAt(self.scale * Math.exp(-event.deltaY * 0.002), point.x, point.y);
  }, { passive: false });
  stage.addEventListener('dblclick', function (event) {
    var point = self.stagePoint(event);
    self.zoomAt(self.scale * (event.shiftKey ? 0.5 : 2), point.x, point.y);
  });
  stage.addEventListener('pointerdown', function (event) {
    stage.setPointerCapture(event.pointerId);
    var point = self.stagePoint(event);
    self.pointers.set(event.pointerId, point);
    self.pinch = null;
    self.tap = self.pointers.size === 1 ? { x: point.x, y: point.y } : null;
    stage.classList.add('tv-dragging');
  });
  stage.addEventListener('pointermove', function (event) {
    if (!self.pointers.has(event.pointerId)) {
      if (event.pointerType !== 'mouse') return;
      if (self.densityOn) self.pointDensitometer(self.stagePoint(event));
      else self.inspect(self.stagePoint(event));
      return;
    }
    var point = self.stagePoint(event);
    var before = self.pointers.get(event.pointerId);
    if (self.tap && Math.hypot(point.x - self.tap.x, point.y - self.tap.y) > 6) self.tap = null;
    if (self.pointers.size === 1) {
      self.panBy(point.x - before.x, point.y - before.y);
    } else if (self.pointers.size === 2) {
      var points = Array.from(self.pointers.values());
      var other = points[0] === before ? points[1] : points[0];
      var distanceBefore = Math.hypot(before.x - other.x, before.y - other.y);
      var distanceNow = Math.hypot(point.x - other.x, point.y - other.y);
      if (distanceBefore > 0)
        self.zoomAt(self.scale * distanceNow / distanceBefore, (point.x + other.x) / 2, (point.y + other.y) / 2);
    }
    self.pointers.set(event.pointerId, point);
  });
  var release = function (event) {
    if (self.tap && event.type === 'pointerup') {
      if (self.placing) self.placeNote(self.stagePoint(event));
      else if (self.densityOn) self.pointDensitometer(self.stagePoint(event));
      else self.inspect(self.stagePoint(event));
    }
    self.tap = null;
    self.pointers.delete(event.pointerId);
    if (!self.pointers.size) stage.classList.remove('tv-dragging');
  };
  stage.addEventListener('pointerup', release);
  stage.addEventListener('pointercancel', release);
  stage.addEventListener('pointerleave', function (event) {
    if (event.pointerType === 'mouse') self.inspector.hidden = true;
  });
  // Keys work from anywhere on the page; a control that uses a key for
  // itself (a tab list, a switch, a text field) keeps it.
  document.addEventListener('keydown', function (event) {
    if (event.defaultPrevented || event.ctrlKey || event.metaKey || event.altKey) return;
    var target = event.target;
    if (target && (target.tagName === 'INPUT' || target.tagName === 'TEXTAREA' || target.tagName === 'SELECT' ||
                   target.isContentEditable)) return;
    var step = 0.15;
    var handled = true;
    switch (event.key) {
    case 'ArrowLeft': self.panBy(self.viewWidth * step, 0); break;
    case 'ArrowRight': self.panBy(-self.viewWidth * step, 0); break;
    case 'ArrowUp': self.panBy(0, self.viewHeight * step); break;
    case 'ArrowDown': self.panBy(0, -self.viewHeight * step); break;
    case '+': case '=': self.zoomStep(1); break;
    case '-': case '_': self.zoomStep(-1); break;
    case '0': self.fit(); break;
    case 'PageDown': self.showPage(self.page + 1); break;
    case 'PageUp': self.showPage(self.page - 1); break;
    case 'Home': if (target === self.stage) self.showPage(1); else handled = false; break;
    case 'End': if (target === self.stage) self.showPage(proof.numberofpages); else handled = false; break;
    case 'Escape': if (self.placing) self.cancelNote(); else handled = false; break;
    default: handled = false;
    }
    if (handled) event.preventDefault();
  });
  window.addEventListener('resize', function () { self.resize(); });
  window.addEventListener('hashchange', function () { self.applyFragment(location.hash); });
  window.addEventListener('beforeprint', function () { self.printFromMemory(); });
};

exports.stagePoint = function (event) {
  var bounds = this.stage.getBoundingClientRect();
  return { x: event.clientX - bounds.left, y: event.clientY - bounds.top };
};
