// Tavrin proof viewer. Copied into each job's index.html after the job's
// data (jobname, factors, maxx, ...); it builds the viewer inside the page's
// container and reads the job's tile databases with HTTP Range requests.
// Everything the page's own functions call is global: map, invalidate,
// initialize. Plain script, no framework; ASCII only, and never a less-than
// sign followed by a slash, since the script stands inside the page.
var map = { zoom: 0 };
var TavrinViewer = (function () {
  'use strict';

  var TILE = 288;
  var MAX_SCALE = 8;          // screen pixels per master pixel at the deepest zoom
  var MAX_BITMAPS = 400;      // decoded tiles kept in memory
  var MAX_LOADS = 6;          // tile requests in flight

  // ---- Tile databases ---------------------------------------------------

  function readWord(view, offset) { return view.getUint32(offset, true); }

  // Asks for bytes first..last; resolves with {whole, buffer}, whole when
  // the server sent the complete file (it ignores Range).
  function fetchBytes(url, first, last) {
    return fetch(url, { headers: { Range: 'bytes=' + first + '-' + last } }).then(function (response) {
      if (response.status !== 206 && response.status !== 200)
        throw new Error('HTTP ' + response.status + ' for ' + url);
      return response.arrayBuffer().then(function (buffer) {
        return { whole: response.status === 200, buffer: buffer };
      });
    });
  }

  // One zoom level of one page: header "vorn", version, columns, rows,
  // block size; then (length, block) per tile, row 0 (the bottom row) first.
  function TileDatabase(url) {
    this.url = url;
    this.file = null;  // the whole file, when the server does not do ranges
    this.ready = this.open();
  }
  TileDatabase.prototype.open = function () {
    var self = this;
    return fetchBytes(this.url, 0, 19).then(function (head) {
      if (head.whole) self.file = head.buffer;
      var view = new DataView(head.buffer);
      if (view.byteLength < 20 || view.getUint8(0) !== 0x76 || view.getUint8(1) !== 0x6f ||
          view.getUint8(2) !== 0x72 || view.getUint8(3) !== 0x6e || readWord(view, 4) !== 1)
        throw new Error('Not a tile database: ' + self.url);
      self.columns = readWord(view, 8);
      self.rows = readWord(view, 12);
      self.blockSize = readWord(view, 16);
      self.dataStart = 20 + self.columns * self.rows * 8;
      if (self.file) return self.file.slice(20, self.dataStart);
      if (self.dataStart === 20) return new ArrayBuffer(0);
      return fetchBytes(self.url, 20, self.dataStart - 1).then(function (index) {
        if (index.whole) {
          self.file = index.buffer;
          return self.file.slice(20, self.dataStart);
        }
        return index.buffer;
      });
    }).then(function (index) {
      self.index = new DataView(index);
      return self;
    });
  };
  // Resolves with the PNG of tile (column, row), or null for a tile never written.
  TileDatabase.prototype.tile = function (column, row) {
    var entry = (row * this.columns + column) * 8;
    var length = readWord(this.index, entry);
    if (length === 0) return Promise.resolve(null);
    var start = this.dataStart + readWord(this.index, entry + 4) * this.blockSize;
    if (this.file) return Promise.resolve(new Blob([this.file.slice(start, start + length)], { type: 'image/png' }));
    var self = this;
    return fetchBytes(this.url, start, start + length - 1).then(function (part) {
      if (part.whole) {
        self.file = part.buffer;
        return new Blob([part.buffer.slice(start, start + length)], { type: 'image/png' });
      }
      return new Blob([part.buffer], { type: 'image/png' });
    });
  };

  // ---- Geometry -----------------------------------------------------------

  function roundHalfEven(value) {
    var floor = Math.floor(value), rest = value - floor;
    if (rest > 0.5) return floor + 1;
    if (rest < 0.5) return floor;
    return floor % 2 === 0 ? floor : floor + 1;
  }

  // Master pixels covered by one tile of a level: the grid stands on the
  // page's bottom-left corner, so the top row reaches above the page.
  function levelGrid(level, database) {
    var source = roundHalfEven((1 / factors[level]) * TILE);
    return {
      source: source,
      columns: database.columns,
      rows: database.rows,
      overhangY: database.rows * source - maxy
    };
  }

  function tileRect(grid, column, row) {
    return {
      x: column * grid.source,
      y: (grid.rows - 1 - row) * grid.source - grid.overhangY,
      size: grid.source
    };
  }

  // ---- Small DOM helpers ---------------------------------------------------

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function button(label, title, action) {
    var node = element('button', 'tv-button', label);
    node.type = 'button';
    node.title = title;
    node.setAttribute('aria-label', title);
    node.addEventListener('click', action);
    return node;
  }

  function offeredLevels() {
    var levels = [0];
    for (var level = 1; level < factors.length && level <= maxzoom; level++)
      if (typeof mapviews !== 'number' || ((1 << (level - 1)) & mapviews)) levels.push(level);
    return levels;
  }

  // ---- The viewer ----------------------------------------------------------

  function Viewer(container) {
    this.container = container;
    this.page = 1;
    this.scale = 1;
    this.centerX = maxx / 2;
    this.centerY = maxy / 2;
    this.fitted = true;
    this.databases = {};
    this.bitmaps = new Map();
    this.loading = new Set();
    this.queue = [];
    this.inFlight = 0;
    this.pointers = new Map();
    this.failed = '';
    this.build();
    this.bindInput();
    this.resize();
    this.openPage(1);
  }

  Viewer.prototype.dataURL = function (name) {
    return baseurl + datadirectory + name;
  };

  Viewer.prototype.pageText = function (page) {
    var text = String(page);
    while (text.length < 4) text = '0' + text;
    return '-' + text;
  };

  Viewer.prototype.build = function () {
    var self = this;
    var root = element('div', 'tv-root');
    var toolbar = element('div', 'tv-toolbar');
    toolbar.setAttribute('role', 'toolbar');
    toolbar.setAttribute('aria-label', 'Proof view');

    this.previousButton = button('\u25C0 Page', 'Previous page', function () { self.showPage(self.page - 1); });
    this.pageLabel = element('span', 'tv-label');
    this.pageLabel.setAttribute('aria-live', 'polite');
    this.nextButton = button('Page \u25B6', 'Next page', function () { self.showPage(self.page + 1); });
    var zoomOut = button('\u2212', 'Zoom out', function () { self.zoomStep(-1); });
    var zoomIn = button('+', 'Zoom in', function () { self.zoomStep(1); });
    var fit = button('Whole page', 'Show the whole page', function () { self.fit(); });
    this.indicator = element('span', 'tv-label tv-zoom');
    this.indicator.id = 'zoomindicator';
    this.indicator.setAttribute('aria-live', 'polite');
    this.indicator.setZoomIndicator = function () { self.showZoom(); };
    var print = button('Print', 'Print the current view', function () { self.print(); });
    toolbar.append(this.previousButton, this.pageLabel, this.nextButton, element('span', 'tv-gap'),
                   zoomOut, this.indicator, zoomIn, fit, element('span', 'tv-gap'), print);

    var body = element('div', 'tv-body');
    this.stage = element('div', 'tv-stage');
    this.stage.tabIndex = 0;
    this.stage.setAttribute('role', 'img');
    this.stage.setAttribute('aria-label', 'Proof of ' + jobname + '. Arrow keys pan, plus and minus zoom.');
    this.canvas = element('canvas', 'tv-canvas');
    this.message = element('div', 'tv-message');
    this.stage.append(this.canvas, this.message);

    var side = element('div', 'tv-side');
    side.append(this.buildNavigator(), this.buildTabs());
    body.append(this.stage, side);

    // The page's ready() looks for these two.
    var frame = element('iframe', 'tv-hidden');
    frame.name = 'dataframe';
    frame.title = 'data';
    frame.setAttribute('aria-hidden', 'true');
    frame.addEventListener('load', function () { dfloaded = true; });
    frame.src = 'about:blank';

    root.append(toolbar, body, frame);
    this.container.appendChild(root);
    this.root = root;
  };

  Viewer.prototype.buildNavigator = function () {
    var self = this;
    var box = element('div', 'tv-navigator');
    box.append(element('h2', 'tv-heading', 'Whole page'));
    this.navigator = element('canvas', 'tv-navcanvas');
    this.navigator.width = 180;
    this.navigator.height = 180;
    this.navigator.setAttribute('aria-label', 'Whole page: click to move the view there');
    this.navigator.setAttribute('role', 'img');
    var move = function (event) {
      if (!self.overview || !self.navRect) return;
      var bounds = self.navigator.getBoundingClientRect();
      var x = (event.clientX - bounds.left) * self.navigator.width / bounds.width;
      var y = (event.clientY - bounds.top) * self.navigator.height / bounds.height;
      self.centerX = (x - self.navRect.x) / self.navRect.w * maxx;
      self.centerY = (y - self.navRect.y) / self.navRect.h * maxy;
      self.fitted = false;
      self.clampCenter();
      self.requestDraw();
    };
    this.navigator.addEventListener('pointerdown', function (event) {
      self.navigator.setPointerCapture(event.pointerId);
      move(event);
    });
    this.navigator.addEventListener('pointermove', function (event) {
      if (event.buttons) move(event);
    });
    box.append(this.navigator);
    this.thumbnails = element('div', 'tv-thumbnails');
    for (var page = 1; numberofpages > 1 && page <= numberofpages; page++) this.thumbnail(page);
    box.append(this.thumbnails);
    return box;
  };

  Viewer.prototype.thumbnail = function (page) {
    var self = this;
    var item = button('', 'Page ' + page, function () { self.showPage(page); });
    item.className = 'tv-thumb';
    var picture = element('img');
    picture.alt = '';
    picture.src = this.dataURL('overview' + this.pageText(page) + '.png');
    item.append(picture, element('span', '', String(page)));
    this.thumbnails.append(item);
  };

  Viewer.prototype.buildTabs = function () {
    var self = this;
    var tabs = element('div', 'tv-tabs');
    var list = element('div', 'tv-tablist');
    list.setAttribute('role', 'tablist');
    var panels = [];
    var names = ['Details', 'Reply', 'Help'];
    var contents = [this.buildDetails(), this.buildReply(), this.buildHelp()];
    var tabButtons = names.map(function (name, index) {
      var tab = button(name, name, function () { select(index); });
      tab.setAttribute('role', 'tab');
      tab.id = 'tv-tab-' + name.toLowerCase();
      var panel = contents[index];
      panel.setAttribute('role', 'tabpanel');
      panel.setAttribute('aria-labelledby', tab.id);
      panels.push(panel);
      list.append(tab);
      return tab;
    });
    function select(index) {
      tabButtons.forEach(function (tab, i) {
        tab.setAttribute('aria-selected', i === index ? 'true' : 'false');
        tab.tabIndex = i === index ? 0 : -1;
        panels[i].hidden = i !== index;
      });
    }
    list.addEventListener('keydown', function (event) {
      var current = tabButtons.indexOf(document.activeElement);
      if (current < 0 || (event.key !== 'ArrowRight' && event.key !== 'ArrowLeft')) return;
      var next = (current + (event.key === 'ArrowRight' ? 1 : tabButtons.length - 1)) % tabButtons.length;
      select(next);
      tabButtons[next].focus();
      event.preventDefault();
    });
    tabs.append(list);
    panels.forEach(function (panel) { tabs.append(panel); });
    select(0);
    this.selectTab = select;
    return tabs;
  };

  Viewer.prototype.buildDetails = function () {
    var panel = element('div', 'tv-panel');
    panel.id = 'itemframe';
    var list = element('dl', 'tv-details');
    var add = function (term, value) {
      list.append(element('dt', '', term));
      var description = element('dd', '');
      if (typeof value === 'string') description.textContent = value;
      else description.append(value);
      list.append(description);
    };
    add('Job', jobname);
    add('Pages', String(numberofpages));
    add('Resolution', xresolution === yresolution ? xresolution + ' dpi' : xresolution + ' \u00D7 ' + yresolution + ' dpi');
    add('Page size', (maxx / xresolution * 25.4).toFixed(0) + ' \u00D7 ' + (maxy / yresolution * 25.4).toFixed(0) + ' mm');
    add('Created', creationdate);
    var inks = element('ul', 'tv-colors');
    colors.forEach(function (name) { inks.append(element('li', '', name)); });
    if (!colors.length) inks.append(element('li', '', '\u2014'));
    add('Colours', inks);
    panel.append(list);
    return panel;
  };

  Viewer.prototype.buildReply = function () {
    var panel = element('div', 'tv-panel');
    var text = element('div', 'tv-text');
    // The approval and help texts are the shop's own HTML.
    text.innerHTML = approvaltext || 'Please check every page and reply with your approval or your corrections.';
    var link = element('a', 'tv-reply', 'Reply to ' + (replyemailname || replyemail));
    link.id = 'replylink';
    link.href = 'mailto:' + encodeURIComponent(replyemail).replace(/%40/g, '@') +
                '?subject=' + encodeURIComponent('Proof: ' + jobname);
    panel.append(text, link);
    return panel;
  };

  Viewer.prototype.buildHelp = function () {
    var panel = element('div', 'tv-panel');
    var text = element('div', 'tv-text');
    if (helptext) text.innerHTML = helptext;
    var keys = element('ul', 'tv-keys');
    [['Drag, arrow keys', 'move around the page'], ['Wheel, + and \u2212, double click, pinch', 'zoom in and out'],
     ['0 or Whole page', 'show the whole page'], ['Page Up, Page Down', 'previous and next page'],
     ['Whole page picture', 'click to jump to a place']].forEach(function (pair) {
      var item = element('li');
      item.append(element('strong', '', pair[0]), document.createTextNode(': ' + pair[1]));
      keys.append(item);
    });
    panel.append(text, keys);
    return panel;
  };

  // ---- Input -----------------------------------------------------------

  Viewer.prototype.bindInput = function () {
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
      self.pointers.set(event.pointerId, self.stagePoint(event));
      self.pinch = null;
      stage.classList.add('tv-dragging');
    });
    stage.addEventListener('pointermove', function (event) {
      if (!self.pointers.has(event.pointerId)) return;
      var point = self.stagePoint(event);
      var before = self.pointers.get(event.pointerId);
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
      self.pointers.delete(event.pointerId);
      if (!self.pointers.size) stage.classList.remove('tv-dragging');
    };
    stage.addEventListener('pointerup', release);
    stage.addEventListener('pointercancel', release);
    stage.addEventListener('keydown', function (event) {
      var step = 0.15;
      var handled = true;
      switch (event.key) {
      case 'ArrowLeft': self.panBy(self.viewWidth * step, 0); break;
      case 'ArrowRight': self.panBy(-self.viewWidth * step, 0); break;
      case 'ArrowUp': self.panBy(0, self.viewHeight * step); break;
      case 'ArrowDown': self.panBy(0, -self.viewHeight * step); break;
      default: handled = false;
      }
      if (handled) event.preventDefault();
    });
    document.addEventListener('keydown', function (event) {
      if (event.ctrlKey || event.metaKey || event.altKey) return;
      var target = event.target;
      if (target && (target.tagName === 'INPUT' || target.tagName === 'TEXTAREA')) return;
      var handled = true;
      switch (event.key) {
      case '+': case '=': self.zoomStep(1); break;
      case '-': case '_': self.zoomStep(-1); break;
      case '0': self.fit(); break;
      case 'PageDown': self.showPage(self.page + 1); break;
      case 'PageUp': self.showPage(self.page - 1); break;
      case 'Home': if (target === self.stage) self.showPage(1); else handled = false; break;
      case 'End': if (target === self.stage) self.showPage(numberofpages); else handled = false; break;
      default: handled = false;
      }
      if (handled) event.preventDefault();
    });
    window.addEventListener('resize', function () { self.resize(); });
  };

  Viewer.prototype.stagePoint = function (event) {
    var bounds = this.stage.getBoundingClientRect();
    return { x: event.clientX - bounds.left, y: event.clientY - bounds.top };
  };

  // ---- View state --------------------------------------------------------

  Viewer.prototype.fitScale = function () {
    return Math.min(this.viewWidth / maxx, this.viewHeight / maxy) * 0.96;
  };

  Viewer.prototype.resize = function () {
    var top = this.root.getBoundingClientRect().top + window.scrollY;
    this.root.style.height = Math.max(320, window.innerHeight - top) + 'px';
    this.viewWidth = Math.max(1, this.stage.clientWidth);
    this.viewHeight = Math.max(1, this.stage.clientHeight);
    var ratio = window.devicePixelRatio || 1;
    this.canvas.width = Math.round(this.viewWidth * ratio);
    this.canvas.height = Math.round(this.viewHeight * ratio);
    this.canvas.style.width = this.viewWidth + 'px';
    this.canvas.style.height = this.viewHeight + 'px';
    if (this.fitted) this.scale = this.fitScale();
    this.clampCenter();
    this.requestDraw();
  };

  Viewer.prototype.clampCenter = function () {
    var halfWidth = this.viewWidth / 2 / this.scale, halfHeight = this.viewHeight / 2 / this.scale;
    this.centerX = maxx <= 2 * halfWidth ? maxx / 2 : Math.min(Math.max(this.centerX, halfWidth), maxx - halfWidth);
    this.centerY = maxy <= 2 * halfHeight ? maxy / 2 : Math.min(Math.max(this.centerY, halfHeight), maxy - halfHeight);
  };

  Viewer.prototype.panBy = function (dx, dy) {
    this.centerX -= dx / this.scale;
    this.centerY -= dy / this.scale;
    this.clampCenter();
    this.requestDraw();
  };

  // The finest level needed at the current scale: the coarsest one that
  // still has a tile pixel for (almost) every screen pixel.
  Viewer.prototype.levelForScale = function (scale) {
    var needed = scale * (window.devicePixelRatio || 1) / 1.25;
    var levels = offeredLevels().slice().sort(function (a, b) { return factors[a] - factors[b]; });
    for (var i = 0; i < levels.length; i++)
      if (factors[levels[i]] >= needed) return levels[i];
    return levels[levels.length - 1];
  };

  Viewer.prototype.zoomAt = function (scale, x, y) {
    var fit = this.fitScale();
    scale = Math.min(Math.max(scale, fit), Math.max(MAX_SCALE, fit));
    var masterX = this.centerX + (x - this.viewWidth / 2) / this.scale;
    var masterY = this.centerY + (y - this.viewHeight / 2) / this.scale;
    this.scale = scale;
    this.fitted = scale <= fit * 1.0001;
    this.centerX = masterX - (x - this.viewWidth / 2) / scale;
    this.centerY = masterY - (y - this.viewHeight / 2) / scale;
    map.zoom = this.fitted ? 0 : this.levelForScale(scale);
    this.clampCenter();
    this.showZoom();
    this.requestDraw();
  };

  // Shows a level at its own size (one tile pixel per screen pixel); level
  // 0 is the whole page. The point, in level 0 pixels, becomes the centre.
  Viewer.prototype.invalidate = function (x, y, level) {
    if (typeof level === 'number' && level >= 0 && level < factors.length) {
      map.zoom = level;
      this.fitted = level === 0;
      this.scale = this.fitted ? this.fitScale() : factors[level] / (window.devicePixelRatio || 1);
    }
    if (typeof x === 'number' && typeof y === 'number' && factors[0] > 0) {
      this.centerX = x / factors[0];
      this.centerY = y / factors[0];
    }
    this.clampCenter();
    this.showZoom();
    this.requestDraw();
  };

  Viewer.prototype.naturalScale = function (level) {
    return level === 0 ? this.fitScale() : factors[level] / (window.devicePixelRatio || 1);
  };

  // Steps to the next offered level in or out with the page's own zoom
  // functions; beyond the deepest level, and back to it, by halves and doubles.
  Viewer.prototype.zoomStep = function (direction) {
    var before = this.scale, middleX = this.viewWidth / 2, middleY = this.viewHeight / 2;
    if (direction < 0 && !this.fitted && before > this.naturalScale(map.zoom) * 1.01) {
      this.zoomAt(Math.max(before / 2, this.naturalScale(map.zoom)), middleX, middleY);
      return;
    }
    if (direction > 0) zoomMapIn(); else zoomMapOut();
    if (direction > 0 ? this.scale <= before * 1.01 : this.scale >= before / 1.01)
      this.zoomAt(direction > 0 ? before * 2 : before / 2, middleX, middleY);
  };

  Viewer.prototype.fit = function () {
    zoomMap(0);
  };

  Viewer.prototype.showZoom = function () {
    var actual = this.scale * Math.max(xresolution, yresolution) / 96 * 100;
    this.indicator.textContent = (this.fitted ? 'Whole page' : 'Level ' + map.zoom) + ' \u00B7 ' +
                                 Math.round(actual) + '%';
    this.indicator.title = 'Zoom level ' + map.zoom + ' of ' + maxzoom + '; 100% is the printed size';
  };

  // ---- Pages -------------------------------------------------------------

  Viewer.prototype.showPage = function (page) {
    if (page < 1 || page > numberofpages || page === this.page) return;
    this.openPage(page);
  };

  Viewer.prototype.openPage = function (page) {
    var self = this;
    this.page = page;
    pagenumber = page;
    this.failed = '';
    this.queue = [];
    this.pageLabel.textContent = 'Page ' + page + ' of ' + numberofpages;
    this.previousButton.disabled = page <= 1;
    this.nextButton.disabled = page >= numberofpages;
    Array.prototype.forEach.call(this.thumbnails.children, function (item, index) {
      item.setAttribute('aria-current', index + 1 === page ? 'page' : 'false');
    });
    this.overview = null;
    var picture = new Image();
    picture.onload = function () {
      if (self.page === page) { self.overview = picture; self.drawNavigator(); }
    };
    picture.src = this.dataURL('overview' + this.pageText(page) + '.png');
    this.showZoom();
    // Level 0 is small and always drawn under the others while they load.
    this.database(page, 0);
    this.requestDraw();
  };

  Viewer.prototype.database = function (page, level) {
    var key = page + '/' + level;
    var self = this;
    if (!this.databases[key]) {
      var database = new TileDatabase(this.dataURL('tile' + level + this.pageText(page) + '.tdb'));
      this.databases[key] = database;
      database.ready.then(function () { self.requestDraw(); }, function (error) {
        self.failed = 'This page could not be loaded (' + error.message + ').';
        self.requestDraw();
      });
    }
    return this.databases[key];
  };

  // ---- Tiles ---------------------------------------------------------------

  Viewer.prototype.request = function (key, database, column, row) {
    if (this.bitmaps.has(key) || this.loading.has(key)) return;
    this.queue.push({ key: key, database: database, column: column, row: row });
  };

  Viewer.prototype.pump = function () {
    var self = this;
    while (this.inFlight < MAX_LOADS && this.queue.length) {
      var job = this.queue.shift();
      if (this.bitmaps.has(job.key) || this.loading.has(job.key)) continue;
      this.loading.add(job.key);
      this.inFlight++;
      (function (job) {
        job.database.tile(job.column, job.row).then(function (blob) {
          return blob ? createImageBitmap(blob) : null;
        }).then(function (bitmap) {
          self.bitmaps.set(job.key, bitmap);
        }, function () {
          self.bitmaps.set(job.key, null);
        }).then(function () {
          self.loading.delete(job.key);
          self.inFlight--;
          self.trimBitmaps();
          self.requestDraw();
          self.pump();
        });
      })(job);
    }
  };

  Viewer.prototype.trimBitmaps = function () {
    if (this.bitmaps.size <= MAX_BITMAPS) return;
    var keep = this.visibleKeys || new Set();
    for (var key of this.bitmaps.keys()) {
      if (this.bitmaps.size <= MAX_BITMAPS * 0.8) break;
      if (keep.has(key) || /\/0\//.test(key)) continue;
      var bitmap = this.bitmaps.get(key);
      if (bitmap) bitmap.close();
      this.bitmaps.delete(key);
    }
  };

  // ---- Drawing -------------------------------------------------------------

  Viewer.prototype.requestDraw = function () {
    if (this.drawPending) return;
    this.drawPending = true;
    var self = this;
    requestAnimationFrame(function () {
      self.drawPending = false;
      self.draw();
    });
  };

  // Screen placement: device pixels per master pixel and the page's origin.
  Viewer.prototype.placement = function () {
    var ratio = window.devicePixelRatio || 1;
    var k = this.scale * ratio;
    return {
      k: k,
      x: this.canvas.width / 2 - this.centerX * k,
      y: this.canvas.height / 2 - this.centerY * k
    };
  };

  Viewer.prototype.draw = function () {
    var context = this.canvas.getContext('2d');
    var place = this.placement();
    context.setTransform(1, 0, 0, 1, 0, 0);
    context.fillStyle = '#4b5361';
    context.fillRect(0, 0, this.canvas.width, this.canvas.height);
    var left = Math.round(place.x), top = Math.round(place.y);
    var right = Math.round(place.x + maxx * place.k), bottom = Math.round(place.y + maxy * place.k);
    context.save();
    context.shadowColor = 'rgba(0,0,0,0.45)';
    context.shadowBlur = 12;
    context.fillStyle = '#ffffff';
    context.fillRect(left, top, right - left, bottom - top);
    context.restore();
    this.pageRect = { left: left, top: top, right: right, bottom: bottom };

    context.save();
    context.beginPath();
    context.rect(left, top, right - left, bottom - top);
    context.clip();
    // Master pixels show as sharp squares beyond 1:1; below it tiles are smoothed.
    context.imageSmoothingEnabled = place.k < 1;
    context.imageSmoothingQuality = 'high';
    this.queue = [];
    this.visibleKeys = new Set();
    this.drawLevel(context, place, 0);
    if (map.zoom !== 0) this.drawLevel(context, place, map.zoom);
    context.restore();
    this.message.textContent = this.failed;
    this.message.hidden = !this.failed;
    this.drawNavigator();
    this.pump();
  };

  Viewer.prototype.drawLevel = function (context, place, level) {
    var database = this.database(this.page, level);
    if (!database.index) return;
    var grid = levelGrid(level, database);
    var size = grid.source * place.k;
    var firstColumn = Math.max(0, Math.floor(-place.x / size));
    var lastColumn = Math.min(grid.columns - 1, Math.floor((this.canvas.width - place.x) / size));
    for (var row = 0; row < grid.rows; row++) {
      var rect = tileRect(grid, 0, row);
      var top = place.y + rect.y * place.k;
      if (top > this.canvas.height || top + size < 0) continue;
      for (var column = firstColumn; column <= lastColumn; column++) {
        var key = this.page + '/' + level + '/' + column + '/' + row;
        this.visibleKeys.add(key);
        var bitmap = this.bitmaps.get(key);
        if (bitmap === undefined) {
          this.request(key, database, column, row);
          continue;
        }
        if (!bitmap) continue;
        rect = tileRect(grid, column, row);
        // Edges rounded from master positions: neighbours share them exactly, so no seams.
        var x0 = Math.round(place.x + rect.x * place.k), x1 = Math.round(place.x + (rect.x + rect.size) * place.k);
        var y0 = Math.round(place.y + rect.y * place.k), y1 = Math.round(place.y + (rect.y + rect.size) * place.k);
        context.drawImage(bitmap, x0, y0, x1 - x0, y1 - y0);
      }
    }
  };

  Viewer.prototype.drawNavigator = function () {
    var context = this.navigator.getContext('2d');
    var width = this.navigator.width, height = this.navigator.height;
    context.clearRect(0, 0, width, height);
    if (!this.overview) return;
    var fit = Math.min((width - 8) / maxx, (height - 8) / maxy);
    var w = maxx * fit, h = maxy * fit, x = (width - w) / 2, y = (height - h) / 2;
    this.navRect = { x: x, y: y, w: w, h: h };
    context.imageSmoothingEnabled = true;
    context.drawImage(this.overview, x, y, w, h);
    context.strokeStyle = '#c00040';
    context.lineWidth = 2;
    var viewW = this.viewWidth / this.scale * fit, viewH = this.viewHeight / this.scale * fit;
    var viewX = x + this.centerX * fit - viewW / 2, viewY = y + this.centerY * fit - viewH / 2;
    context.strokeRect(Math.max(x, viewX), Math.max(y, viewY),
                       Math.min(x + w, viewX + viewW) - Math.max(x, viewX),
                       Math.min(y + h, viewY + viewH) - Math.max(y, viewY));
  };

  // ---- Printing --------------------------------------------------------------

  // Opens the job's print page and puts the current view into it.
  Viewer.prototype.print = function () {
    var picture = this.canvas.toDataURL('image/png');
    var title = jobname + ' \u2013 page ' + this.page + ' of ' + numberofpages;
    var printWindow = window.open('print.html', 'tavrinprint');
    if (!printWindow) return;
    var tries = 0;
    // The print page has no script of its own: wait until it has loaded, then fill it.
    var timer = setInterval(function () {
      var ready = false;
      try {
        ready = printWindow.location.pathname.slice(-10) === 'print.html' &&
                printWindow.document.readyState === 'complete';
      } catch (error) {
        ready = false;
      }
      if (ready || ++tries > 100 || printWindow.closed) {
        clearInterval(timer);
        if (ready) fill();
      }
    }, 100);
    var fill = function () {
      var container = printWindow.document.getElementById('pagecontainer');
      if (!container || container.childNodes.length) return;
      var heading = printWindow.document.createElement('p');
      heading.textContent = title;
      var image = printWindow.document.createElement('img');
      image.alt = title;
      image.style.maxWidth = '100%';
      image.onload = function () { printWindow.focus(); printWindow.print(); };
      image.src = picture;
      container.style.fontSize = '12px';
      container.append(heading, image);
    };
  };

  return {
    Viewer: Viewer,
    TileDatabase: TileDatabase,
    instance: null
  };
})();

// Builds the viewer inside the element with the given id; the point (in
// level 0 pixels) is where the view is centred, 0, 0 for the page's middle.
function initialize(containerId, x, y) {
  var container = document.getElementById(containerId);
  if (!container || TavrinViewer.instance) return;
  var start = function () {
    TavrinViewer.instance = new TavrinViewer.Viewer(container);
    if (x || y) invalidate(x, y, null);
    initialized = true;
  };
  var style = document.createElement('link');
  style.rel = 'stylesheet';
  style.href = baseurl + scriptdirectory + 'tavrin.css';
  style.onload = start;
  style.onerror = start;
  document.head.appendChild(style);
}

// Redraws the view at the level; null coordinates keep the current position.
function invalidate(x, y, level) {
  if (TavrinViewer.instance) TavrinViewer.instance.invalidate(x, y, level);
}
