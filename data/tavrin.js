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
  var MAX_INDEXED = 160;      // level 4 tiles kept as plate combination indices
  var MAX_SEPARATED = 96;     // level 4 tiles a view with inks switched off may need
  var MAX_PRINT_TILES = 96;   // tiles fetched to print a page
  var MAX_PRINT_SIDE = 4096;  // pixels on the longer side of the printed picture
  var FRAGMENT_DELAY = 250;   // ms between updates of the address while the view moves

  // The page generator's lines have no viewport settings: without these a
  // phone lays the page out 980 pixels wide and shrinks every control.
  (function setViewport() {
    var head = document.getElementsByTagName('head')[0];
    if (!head || document.querySelector('meta[name="viewport"]')) return;
    var meta = document.createElement('meta');
    meta.name = 'viewport';
    meta.content = 'width=device-width, initial-scale=1';
    head.appendChild(meta);
  })();

  // Rules the viewer depends on travel with the script: the shared
  // stylesheet on the web host is only uploaded where it is missing, so it
  // may be older than the script.
  var STYLE = [
    '.tv-root { max-width: 100%; }',
    '#logo img { max-width: 100%; height: auto; }',
    '.tv-stage { overflow: hidden; }',
    '.tv-inspector { position: absolute; left: 8px; bottom: 8px; max-width: calc(100% - 16px); padding: 4px 10px;',
    '  border-radius: 6px; background: rgba(20,24,32,0.82); color: #fff; font-size: 13px; pointer-events: none; }',
    '.tv-inspector[hidden] { display: none; }',
    '.tv-notice { position: absolute; left: 16px; right: 16px; top: 16px; padding: 10px 14px; border-radius: 6px;',
    '  background: #fffbe6; color: #4a3b00; font-size: 14px; }',
    '.tv-notice[hidden] { display: none; }',
    '.tv-inks { list-style: none; margin: 0; padding: 0; }',
    '.tv-ink { display: flex; align-items: center; gap: 10px; min-height: 36px; }',
    '.tv-ink input { width: 20px; height: 20px; margin: 0; }',
    '.tv-swatch { display: inline-block; width: 16px; height: 16px; border: 1px solid #9aa6ba; border-radius: 3px; }',
    '.tv-inkstatus { margin: 8px 0 0; color: #5b6577; }',
    '.tv-coverage { margin: 0; padding-left: 1.1em; }',
    '.tv-print { display: none; }',
    '.tv-answer { border-top: 1px solid #e1e6ee; margin: 0 0 12px; padding-top: 10px; }',
    '.tv-choice { display: flex; flex-wrap: wrap; gap: 6px; margin-bottom: 8px; }',
    '.tv-choice .tv-button { flex: 1 1 auto; }',
    '.tv-choice .tv-button[aria-pressed="true"] { background: #17612b; border-color: #17612b; color: #fff; }',
    '.tv-choice #tv-changes[aria-pressed="true"] { background: #b3261e; border-color: #b3261e; }',
    '.tv-field { display: block; margin-bottom: 8px; }',
    '.tv-field span { display: block; color: #5b6577; font-size: 12px; }',
    '.tv-input { display: block; width: 100%; font: inherit; padding: 5px 8px; border: 1px solid #9aa6ba;',
    '  border-radius: 6px; background: #fff; color: #1d2330; }',
    'textarea.tv-input { resize: vertical; }',
    '.tv-block { font: 11px/1.3 monospace; margin-top: 4px; }',
    '.tv-notecount, .tv-notehint { color: #5b6577; margin: 6px 0; }',
    '.tv-answerstatus { margin: 8px 0; overflow-wrap: anywhere; }',
    '.tv-answerstatus.tv-ok, .tv-sent { color: #17612b; }',
    '.tv-answerstatus.tv-error { color: #8a1020; }',
    '.tv-mailbox[hidden], .tv-noteeditor[hidden] { display: none; }',
    '.tv-mailbox p { margin: 6px 0 2px; }',
    '.tv-sent { margin: 0; padding-left: 1.1em; }',
    '.tv-sentcomment { display: block; color: #1d2330; white-space: pre-wrap; overflow-wrap: anywhere; }',
    '.tv-noteeditor .tv-button { margin: 0 6px 6px 0; }',
    '.tv-notelist { margin: 10px 0 0; padding-left: 1.4em; }',
    '.tv-note { margin-bottom: 8px; overflow-wrap: anywhere; }',
    '.tv-notelink { font-weight: 600; color: #2457ab; margin-right: 6px; }',
    '.tv-notetext { display: block; white-space: pre-wrap; }',
    '.tv-notesent { color: #5b6577; font-size: 12px; }',
    '.tv-markers { position: absolute; left: 0; top: 0; right: 0; bottom: 0; overflow: hidden; pointer-events: none; }',
    '.tv-marker { position: absolute; width: 24px; height: 24px; margin: -12px 0 0 -12px; border: 2px solid #fff;',
    '  border-radius: 50%; background: #e4007c; color: #fff; font: bold 12px/20px sans-serif; text-align: center;',
    '  box-shadow: 0 1px 4px rgba(0,0,0,0.5); }',
    '.tv-marker[hidden] { display: none; }',
    '.tv-marker.tv-draft { background: #2e6bd1; }',
    '.tv-marker.tv-sentnote { background: #6b7385; }',
    '.tv-stage.tv-placing { cursor: crosshair; }',
    '.tv-fingerprint { font-family: monospace; min-width: 0; padding: 2px 6px; }',
    '.tv-tablist .tv-button { min-width: 0; padding: 5px 2px; }',
    '@media (min-width: 761px) { .tv-side { flex-basis: 300px; } }',
    '@media (max-width: 760px), (pointer: coarse) {',
    '  .tv-button { min-height: 44px; min-width: 44px; }',
    '  .tv-input { min-height: 44px; font-size: 16px; }',
    '  .tv-notelink { display: inline-block; min-height: 44px; line-height: 44px; }',
    '  .tv-ink { min-height: 44px; }',
    '  .tv-ink input { width: 24px; height: 24px; }',
    '}',
    '@media (max-width: 760px) {',
    '  .tv-toolbar { gap: 4px; padding: 4px; justify-content: center; }',
    '  .tv-gap { display: none; }',
    '  .tv-label, .tv-zoom { min-width: 0; }',
    '  .tv-body { flex-direction: column; }',
    '  .tv-stage { flex: 1 1 50%; min-height: 200px; }',
    '  .tv-side { flex: 0 0 auto; max-height: 45%; border-left: 0; border-top: 1px solid #cfd6e2; }',
    '  .tv-navigator { display: none; }',
    '  .tv-tablist .tv-button { padding: 5px 2px; }',
    '}',
    '@media print {',
    '  @page { margin: 10mm; }',
    '  html, body { background: #fff !important; margin: 0 !important; }',
    '  body > *:not(.tv-print) { display: none !important; }',
    '  .tv-print { display: block !important; }',
    '  .tv-print img { display: block; max-width: 100%; max-height: 95vh; margin: 0 auto; object-fit: contain; }',
    '  .tv-print p { font: 10pt sans-serif; margin: 0 0 4mm; }',
    '}'
  ].join('\n');

  // ---- Tile databases ---------------------------------------------------

  function readWord(view, offset) { return view.getUint32(offset, true); }

  // Asks for bytes first..last; resolves with {whole, buffer}, whole when
  // the server sent the complete file (it ignores Range). A part shorter
  // than asked for (the browser's cache gives one now and then when the
  // same range is asked for twice) is asked for once more past the cache.
  function fetchBytes(url, first, last, retried) {
    var options = { headers: { Range: 'bytes=' + first + '-' + last } };
    if (retried) options.cache = 'no-store';
    return fetch(url, options).then(function (response) {
      if (response.status !== 206 && response.status !== 200)
        throw new Error('HTTP ' + response.status + ' for ' + url);
      return response.arrayBuffer().then(function (buffer) {
        var whole = response.status === 200;
        if (!whole && buffer.byteLength !== last - first + 1) {
          if (retried) throw new Error('a short answer for ' + url);
          return fetchBytes(url, first, last, true);
        }
        return { whole: whole, buffer: buffer };
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

  // ---- Palette PNG decoding ------------------------------------------------

  // A level 4 tile is a palette PNG of the colours it uses; its private
  // tvIX chunk gives each palette entry's plate combination index (one byte
  // per entry). Resolves with {width, height, indices, palette, entries},
  // indices being palette entries and entries the chunk's bytes or null;
  // rejects anything else (true colour, interlaced, damaged), since only
  // indices show separations.
  function inflate(bytes) {
    var stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Response(stream).arrayBuffer();
  }

  function paeth(a, b, c) {
    var p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
  }

  function decodePalettePng(buffer) {
    var bytes = new Uint8Array(buffer);
    var view = new DataView(buffer);
    var signature = [137, 80, 78, 71, 13, 10, 26, 10];
    for (var s = 0; s < 8; s++)
      if (bytes[s] !== signature[s]) return Promise.reject(new Error('not a PNG file'));
    var header = null, palette = null, entries = null, parts = [], size = 0;
    for (var at = 8; at + 8 <= bytes.length;) {
      var length = view.getUint32(at);
      var type = String.fromCharCode(bytes[at + 4], bytes[at + 5], bytes[at + 6], bytes[at + 7]);
      var data = bytes.subarray(at + 8, at + 8 + length);
      if (data.length !== length) return Promise.reject(new Error('PNG chunk ' + type + ' cut short'));
      if (type === 'IHDR') {
        header = { width: view.getUint32(at + 8), height: view.getUint32(at + 12), depth: bytes[at + 16],
                   colorType: bytes[at + 17], interlace: bytes[at + 20] };
      } else if (type === 'PLTE') {
        palette = data;
      } else if (type === 'tvIX' && palette && !parts.length) {
        entries = data;
      } else if (type === 'IDAT') {
        parts.push(data);
        size += length;
      } else if (type === 'IEND') {
        break;
      }
      at += 12 + length;
    }
    if (!header || header.colorType !== 3 || header.interlace !== 0 || [1, 2, 4, 8].indexOf(header.depth) < 0 ||
        !palette || !parts.length)
      return Promise.reject(new Error('not a palette PNG'));
    var compressed = new Uint8Array(size);
    for (var i = 0, offset = 0; i < parts.length; offset += parts[i].length, i++) compressed.set(parts[i], offset);
    return inflate(compressed).then(function (inflated) {
      var raw = new Uint8Array(inflated);
      var width = header.width, height = header.height, depth = header.depth;
      var stride = Math.ceil(width * depth / 8);
      if (raw.length < height * (stride + 1)) throw new Error('PNG image data cut short');
      var previous = new Uint8Array(stride), line = new Uint8Array(stride);
      var indices = new Uint8Array(width * height);
      var perByte = 8 / depth, mask = (1 << depth) - 1;
      for (var y = 0; y < height; y++) {
        var base = y * (stride + 1), filter = raw[base];
        for (var x = 0; x < stride; x++) {
          var value = raw[base + 1 + x];
          var left = x > 0 ? line[x - 1] : 0, up = previous[x], upLeft = x > 0 ? previous[x - 1] : 0;
          switch (filter) {
          case 0: break;
          case 1: value += left; break;
          case 2: value += up; break;
          case 3: value += (left + up) >> 1; break;
          case 4: value += paeth(left, up, upLeft); break;
          default: throw new Error('unknown PNG filter ' + filter);
          }
          line[x] = value & 255;
        }
        var row = indices.subarray(y * width, (y + 1) * width);
        if (depth === 8) {
          row.set(line.subarray(0, width));
        } else {
          for (var p = 0; p < width; p++)
            row[p] = (line[Math.floor(p / perByte)] >> (8 - depth * (p % perByte + 1))) & mask;
        }
        var swap = previous; previous = line; line = swap;
      }
      return { width: width, height: height, indices: indices, palette: palette, entries: entries };
    });
  }

  // ---- Inks ------------------------------------------------------------------

  // Runs a data script beside the page; resolves with whether it loaded.
  function loadScript(url) {
    return new Promise(function (resolve) {
      var script = document.createElement('script');
      script.src = url;
      script.onload = function () { resolve(true); };
      script.onerror = function () { resolve(false); };
      document.getElementsByTagName('head')[0].appendChild(script);
    });
  }

  // The plates of each page, from inks.js beside the page (written by the Web
  // task): var pageinks=[{page, inked, plates:[{name, bit, coverage}]}].
  // Jobs made before have no such file.
  function loadInks(url) {
    return loadScript(url).then(function () {
      var pages = typeof pageinks !== 'undefined' && Array.isArray(pageinks) ? pageinks : null;
      return pages && validInks(pages) ? pages : null;
    });
  }

  // The job's fingerprint from proof.js beside the page (written by the Web
  // task): var proofprint={job, pages}. Empty for a job made before
  // fingerprints, which has no such file.
  function loadFingerprint(url) {
    return loadScript(url).then(function () {
      var print = typeof proofprint !== 'undefined' ? proofprint : null;
      return print && typeof print.job === 'string' && /^([0-9a-f]{64})?$/.test(print.job) ? print.job : '';
    });
  }

  // A page's colour table (var pageinks' "table": R, G, B of index 0..255 in
  // hex) as 768 bytes; null when the page has none or it is malformed.
  function colorTable(entry) {
    if (!entry || typeof entry.table !== 'string' || !/^[0-9a-f]{1536}$/.test(entry.table)) return null;
    var table = new Uint8Array(768);
    for (var i = 0; i < 768; i++) table[i] = parseInt(entry.table.substr(i * 2, 2), 16);
    return table;
  }

  function validInks(pages) {
    return pages.every(function (entry) {
      return entry && typeof entry.page === 'number' && (entry.inked === 0 || entry.inked === 1) &&
             Array.isArray(entry.plates) && entry.plates.every(function (plate) {
               return plate && typeof plate.name === 'string' && plate.bit >= 0 && plate.bit <= 7 &&
                      plate.bit === Math.floor(plate.bit);
             });
    });
  }

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

  // The level with one tile pixel per master pixel, or -1.
  function fullLevel() {
    for (var level = factors.length - 1; level > 0; level--)
      if (factors[level] === 1 && offered(level)) return level;
    return -1;
  }

  function offered(level) {
    return level === 0 || (level < factors.length && level <= maxzoom &&
                           (typeof mapviews !== 'number' || ((1 << (level - 1)) & mapviews) !== 0));
  }

  // Levels the viewer draws from: a level that enlarges the master (a job
  // below 384 dpi has one) never stands in for the master's own pixels.
  function usableLevels() {
    var full = fullLevel();
    var levels = [];
    for (var level = 0; level < factors.length; level++)
      if (offered(level) && (full < 0 || factors[level] <= 1)) levels.push(level);
    return levels.sort(function (a, b) { return factors[a] - factors[b]; });
  }

  function percent(scale) {
    var value = scale * 100;
    return (value >= 10 ? Math.round(value) : Math.round(value * 10) / 10) + '\u00A0%';
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
    this.notice = '';
    this.inks = null;          // the pages of inks.js once loaded
    this.inksState = 'loading';
    this.hidden = new Set();   // names of the inks switched off
    this.indexed = new Map();  // level 4 tiles as indices: key -> promise
    this.noIndices = false;    // the tiles carry no plate combination indices
    this.fingerprint = null;   // the job's fingerprint once proof.js is read ('' when it has none)
    this.notes = [];           // {page, x, y, zoom, text, sent}: master pixels and the zoom they were placed at
    this.draftNote = null;     // a note placed on the page whose text is being written
    this.placing = false;      // the next tap on the page places a note
    this.answers = {};         // page -> {decision, comment} not sent yet
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
    var print = button('Print', 'Print the page', function () { self.print(); });
    toolbar.append(this.previousButton, this.pageLabel, this.nextButton, element('span', 'tv-gap'),
                   zoomOut, this.indicator, zoomIn, fit, element('span', 'tv-gap'), print);

    var body = element('div', 'tv-body');
    this.stage = element('div', 'tv-stage');
    this.stage.tabIndex = 0;
    this.stage.setAttribute('role', 'img');
    this.stage.setAttribute('aria-label', 'Proof of ' + jobname + '. Arrow keys pan, plus and minus zoom.');
    this.canvas = element('canvas', 'tv-canvas');
    this.message = element('div', 'tv-message');
    this.noticeBox = element('div', 'tv-notice');
    this.noticeBox.setAttribute('role', 'status');
    this.inspector = element('div', 'tv-inspector');
    this.inspector.setAttribute('aria-live', 'polite');
    this.inspector.hidden = true;
    this.markers = element('div', 'tv-markers');
    this.markers.setAttribute('aria-hidden', 'true');
    this.stage.append(this.canvas, this.markers, this.noticeBox, this.message, this.inspector);

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

    // What printing shows: the page alone, outside the page's table.
    this.printBox = element('div', 'tv-print');
    this.printTitle = element('p');
    this.printPicture = element('img');
    this.printBox.append(this.printTitle, this.printPicture);
    document.body.appendChild(this.printBox);
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
      self.viewChanged();
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
    var tabs = element('div', 'tv-tabs');
    var list = element('div', 'tv-tablist');
    list.setAttribute('role', 'tablist');
    var panels = [];
    var names = ['Inks', 'Details', 'Reply', 'Notes', 'Help'];
    var contents = [this.buildInks(), this.buildDetails(), this.buildReply(), this.buildNotes(), this.buildHelp()];
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
    select(1);
    this.selectTab = select;
    return tabs;
  };

  Viewer.prototype.buildInks = function () {
    var panel = element('div', 'tv-panel');
    panel.id = 'tv-inks';
    this.inkList = element('ul', 'tv-inks');
    this.inkStatus = element('p', 'tv-inkstatus', 'Loading the inks\u2026');
    panel.append(this.inkList, this.inkStatus);
    return panel;
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
    this.coverageList = element('div', 'tv-coverages', '\u2014');
    add('Ink coverage', this.coverageList);
    this.fingerprintBox = element('div', 'tv-fingerprintbox', 'Loading\u2026');
    add('Fingerprint', this.fingerprintBox);
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
    link.href = mailAddress() + '?subject=' + encodeURIComponent('Proof: ' + jobname);
    panel.append(text, this.buildAnswer(), link);
    return panel;
  };

  Viewer.prototype.buildHelp = function () {
    var panel = element('div', 'tv-panel');
    var text = element('div', 'tv-text');
    if (helptext) text.innerHTML = helptext;
    var keys = element('ul', 'tv-keys');
    [['Drag, arrow keys', 'move around the page'], ['Wheel, + and \u2212, double click, pinch', 'zoom in and out'],
     ['0 or Whole page', 'show the whole page'], ['Page Up, Page Down', 'previous and next page'],
     ['Whole page picture', 'click to jump to a place'],
     ['Inks', 'switch plates off and on; from 100\u00A0% point at a pixel to see its inks'],
     ['Reply, Notes', 'approve a page or request changes; place notes on the page, then send']].forEach(function (pair) {
      var item = element('li');
      item.append(element('strong', '', pair[0]), document.createTextNode(': ' + pair[1]));
      keys.append(item);
    });
    panel.append(text, keys);
    return panel;
  };

  // ---- Inks panel and coverage ---------------------------------------------

  // Every plate of the job in the order the pages list them.
  Viewer.prototype.inkNames = function () {
    var names = [];
    (this.inks || []).forEach(function (entry) {
      entry.plates.forEach(function (plate) { if (names.indexOf(plate.name) < 0) names.push(plate.name); });
    });
    return names;
  };

  Viewer.prototype.pageInks = function (page) {
    if (!this.inks) return null;
    for (var i = 0; i < this.inks.length; i++)
      if (this.inks[i].page === page) return this.inks[i];
    return null;
  };

  Viewer.prototype.inksLoaded = function (pages) {
    this.inks = pages;
    this.inksState = pages ? 'ready' : 'missing';
    // Names from the address as the panel lists them (case aside).
    var names = this.inkNames(), hidden = new Set();
    this.hidden.forEach(function (name) {
      if (names.indexOf(name) >= 0) { hidden.add(name); return; }
      var match = names.filter(function (known) { return known.toLowerCase() === name.toLowerCase(); })[0];
      if (match) hidden.add(match);
    });
    this.hidden = pages ? hidden : new Set();
    this.fillInks();
    this.fillCoverage();
    this.requestSwatches();
    this.viewChanged();
  };

  Viewer.prototype.fillInks = function () {
    var self = this;
    this.inkList.textContent = '';
    this.inkSwitches = new Map();
    this.swatchesPainted = 0;
    if (this.inksState !== 'ready') {
      colors.forEach(function (name) { self.inkList.append(element('li', 'tv-ink', name)); });
      this.inkStatus.textContent = 'Separations are not available for this proof.';
      return;
    }
    this.inkNames().forEach(function (name) {
      var item = element('li', 'tv-ink');
      var label = element('label', 'tv-ink');
      var box = element('input');
      box.type = 'checkbox';
      box.setAttribute('role', 'switch');
      box.checked = !self.hidden.has(name);
      box.addEventListener('change', function () { self.setInk(name, box.checked); });
      var swatch = element('span', 'tv-swatch');
      swatch.setAttribute('aria-hidden', 'true');
      label.append(box, swatch, document.createTextNode(name));
      item.append(label);
      self.inkList.append(item);
      self.inkSwitches.set(name, { box: box, swatch: swatch });
    });
    this.showInkStatus();
  };

  Viewer.prototype.setInk = function (name, on) {
    if (on) this.hidden.delete(name); else this.hidden.add(name);
    this.viewChanged();
  };

  Viewer.prototype.syncSwitches = function () {
    var self = this;
    if (!this.inkSwitches) return;
    this.inkSwitches.forEach(function (parts, name) { parts.box.checked = !self.hidden.has(name); });
  };

  // Each ink's swatch is the colour of that plate alone, from the colour table.
  Viewer.prototype.paintSwatches = function (palette) {
    var entry = this.pageInks(this.page);
    if (!entry || !this.inkSwitches || this.swatchesPainted === this.page) return;
    this.swatchesPainted = this.page;
    var paper = 0;
    entry.plates.forEach(function (plate) { if (entry.inked === 0) paper |= 1 << plate.bit; });
    this.inkSwitches.forEach(function (parts, name) {
      var plate = entry.plates.filter(function (candidate) { return candidate.name === name; })[0];
      if (!plate) return;
      var index = entry.inked === 0 ? paper & ~(1 << plate.bit) : paper | (1 << plate.bit);
      parts.swatch.style.background = 'rgb(' + palette[index * 3] + ',' + palette[index * 3 + 1] + ',' +
                                      palette[index * 3 + 2] + ')';
    });
  };

  // The first level 4 tile gives the swatches from the page's colour table
  // (and tells early whether the tiles carry indices at all).
  Viewer.prototype.requestSwatches = function () {
    var self = this;
    if (this.inksState !== 'ready' || fullLevel() < 0 || this.swatchesPainted === this.page) return;
    this.indexedTile(this.page, 0, 0).then(function (tile) {
      if (tile) self.paintSwatches(tile.palette);
    }, function () {});
  };

  Viewer.prototype.showInkStatus = function () {
    if (this.inksState !== 'ready') return;
    var text = 'Switch an ink off to see the page without it.';
    if (this.noIndices) text = 'Separations are not available for this proof.';
    else if (this.notice) text = this.notice;
    else if (this.hidden.size) text = 'Showing the page without ' + Array.from(this.hidden).join(', ') + '.';
    this.inkStatus.textContent = text;
  };

  Viewer.prototype.fillCoverage = function () {
    var box = this.coverageList;
    box.textContent = '';
    if (!this.inks) {
      box.textContent = '\u2014';
      return;
    }
    this.inks.forEach(function (entry) {
      var list = element('ul', 'tv-coverage');
      entry.plates.forEach(function (plate) {
        var figure = typeof plate.coverage === 'number' ? plate.coverage.toFixed(2) + ' %' : 'not known';
        list.append(element('li', '', plate.name + ' ' + figure));
      });
      if (numberofpages > 1 || this.inks.length > 1) box.append(element('div', '', 'Page ' + entry.page));
      box.append(list);
    }, this);
  };

  // How the hidden inks change an index on this page: bits to set and bits
  // to clear ("not inked" is the opposite of the page's inked value); null
  // when nothing changes, 'pending' while the inks are not known yet.
  Viewer.prototype.inkTransform = function () {
    if (!this.hidden.size || this.inksState === 'missing') return null;
    if (this.inksState !== 'ready') return 'pending';
    var entry = this.pageInks(this.page);
    if (!entry) return null;
    var set = 0, clear = 0, hidden = this.hidden;
    entry.plates.forEach(function (plate) {
      if (!hidden.has(plate.name)) return;
      if (entry.inked === 0) set |= 1 << plate.bit; else clear |= 1 << plate.bit;
    });
    if (!set && !clear) return null;
    return { set: set, clear: clear, key: set + '.' + clear };
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
      var point = self.stagePoint(event);
      self.pointers.set(event.pointerId, point);
      self.pinch = null;
      self.tap = self.pointers.size === 1 ? { x: point.x, y: point.y } : null;
      stage.classList.add('tv-dragging');
    });
    stage.addEventListener('pointermove', function (event) {
      if (!self.pointers.has(event.pointerId)) {
        if (event.pointerType === 'mouse') self.inspect(self.stagePoint(event));
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
      case 'End': if (target === self.stage) self.showPage(numberofpages); else handled = false; break;
      case 'Escape': if (self.placing) self.cancelNote(); else handled = false; break;
      default: handled = false;
      }
      if (handled) event.preventDefault();
    });
    window.addEventListener('resize', function () { self.resize(); });
    window.addEventListener('hashchange', function () { self.applyFragment(location.hash); });
    window.addEventListener('beforeprint', function () { self.printFromMemory(); });
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
    this.viewChanged();
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
    this.viewChanged();
  };

  // The level to draw at a scale: from 100 % inward the master's own pixels;
  // below it the coarsest level that still has a tile pixel for (almost)
  // every screen pixel.
  Viewer.prototype.levelForScale = function (scale) {
    var levels = usableLevels();
    var full = fullLevel();
    if (full >= 0 && scale >= 0.999) return full;
    var needed = scale * (window.devicePixelRatio || 1) / 1.25;
    for (var i = 0; i < levels.length; i++)
      if (factors[levels[i]] >= needed) return levels[i];
    return levels[levels.length - 1];
  };

  // The level drawn for the view: the whole page from level 0, unless a
  // small page shows whole at 100 % or more.
  Viewer.prototype.viewLevel = function () {
    return this.fitted && this.scale < 0.999 ? 0 : this.levelForScale(this.scale);
  };

  Viewer.prototype.setScale = function (scale) {
    var fit = this.fitScale();
    this.scale = Math.min(Math.max(scale, fit), Math.max(MAX_SCALE, fit));
    this.fitted = this.scale <= fit * 1.0001;
    map.zoom = this.viewLevel();
  };

  Viewer.prototype.zoomAt = function (scale, x, y) {
    var masterX = this.centerX + (x - this.viewWidth / 2) / this.scale;
    var masterY = this.centerY + (y - this.viewHeight / 2) / this.scale;
    this.setScale(scale);
    this.centerX = masterX - (x - this.viewWidth / 2) / this.scale;
    this.centerY = masterY - (y - this.viewHeight / 2) / this.scale;
    this.clampCenter();
    this.viewChanged();
  };

  // Shows a level at its own size (one tile pixel per screen pixel); level
  // 0 is the whole page. The point, in level 0 pixels, becomes the centre.
  Viewer.prototype.invalidate = function (x, y, level) {
    if (typeof level === 'number' && level >= 0 && level < factors.length) {
      if (level === 0) {
        this.fitted = true;
        this.scale = this.fitScale();
        map.zoom = 0;
      } else {
        this.setScale(this.naturalScale(level));
      }
    }
    if (typeof x === 'number' && typeof y === 'number' && factors[0] > 0) {
      this.centerX = x / factors[0];
      this.centerY = y / factors[0];
    }
    this.clampCenter();
    this.viewChanged();
  };

  Viewer.prototype.naturalScale = function (level) {
    return level === 0 ? this.fitScale() : factors[level] / (window.devicePixelRatio || 1);
  };

  // The zoom steps: each usable level at its own size, 100 % (one screen
  // pixel per plate pixel) and its doubles, so "+" always stops at 100 %.
  Viewer.prototype.zoomSteps = function () {
    var fit = this.fitScale(), self = this;
    var steps = usableLevels().filter(function (level) { return level > 0; }).map(function (level) {
      return self.naturalScale(level);
    });
    for (var scale = 1; scale <= MAX_SCALE; scale *= 2) steps.push(scale);
    steps = steps.filter(function (scale) { return scale > fit * 1.01; });
    steps.push(fit);
    return steps.sort(function (a, b) { return a - b; });
  };

  Viewer.prototype.zoomStep = function (direction) {
    var steps = this.zoomSteps(), current = this.scale, next = null;
    for (var i = 0; i < steps.length; i++) {
      if (direction > 0 && steps[i] > current * 1.001) { next = steps[i]; break; }
      if (direction < 0 && steps[i] < current / 1.001) next = steps[i];
    }
    if (next === null) return;
    this.zoomAt(next, this.viewWidth / 2, this.viewHeight / 2);
  };

  Viewer.prototype.fit = function () {
    zoomMap(0);
  };

  Viewer.prototype.showZoom = function () {
    var print = this.scale * Math.max(xresolution, yresolution) / 96;
    this.indicator.textContent = (this.fitted ? 'Whole page' : 'Level ' + map.zoom) + ' \u00B7 ' + percent(this.scale);
    this.indicator.title = '100 % shows one screen pixel per plate pixel; the page now shows at ' +
                           Math.round(print * 100) + ' % of its printed size';
  };

  // Everything that follows a change of the view: the indicator, the
  // drawing, the address.
  Viewer.prototype.viewChanged = function () {
    this.showZoom();
    this.requestDraw();
    this.scheduleFragment();
  };

  // ---- The address's fragment ----------------------------------------------

  // #page=P&zoom=Z&x=X&y=Y&hide=INK,INK: Z screen pixels per master pixel,
  // X, Y the master pixel at the centre of the view.
  Viewer.prototype.fragment = function () {
    var parts = ['page=' + this.page];
    if (!this.fitted)
      parts.push('zoom=' + Number(this.scale.toFixed(4)), 'x=' + Math.round(this.centerX),
                 'y=' + Math.round(this.centerY));
    if (this.hidden.size)
      parts.push('hide=' + Array.from(this.hidden).map(encodeURIComponent).join(','));
    return '#' + parts.join('&');
  };

  Viewer.prototype.scheduleFragment = function () {
    var self = this;
    if (this.fragmentTimer || !this.started) return;
    this.fragmentTimer = setTimeout(function () {
      self.fragmentTimer = null;
      var fragment = self.fragment();
      // Replaced, not pushed: moving the view does not fill the history.
      if (location.hash !== fragment) history.replaceState(history.state, '', fragment);
    }, FRAGMENT_DELAY);
  };

  Viewer.prototype.applyFragment = function (hash) {
    var values = {};
    String(hash || '').replace(/^#/, '').split('&').forEach(function (pair) {
      var at = pair.indexOf('=');
      if (at > 0) values[pair.slice(0, at)] = pair.slice(at + 1);
    });
    var page = parseInt(values.page, 10);
    if (!(page >= 1 && page <= numberofpages)) page = this.page;
    if (page !== this.page) this.openPage(page);
    if (values.hide !== undefined) {
      var names = values.hide.split(',').filter(Boolean).map(function (name) {
        try { return decodeURIComponent(name); } catch (error) { return name; }
      });
      this.hidden = new Set(names);
      if (this.inksState !== 'loading') this.inksLoaded(this.inks);
    } else if (this.hidden.size) {
      this.hidden = new Set();
    }
    this.syncSwitches();
    var zoom = parseFloat(values.zoom), x = parseFloat(values.x), y = parseFloat(values.y);
    if (zoom > 0 && isFinite(zoom)) {
      this.setScale(zoom);
      this.centerX = isFinite(x) ? x : maxx / 2;
      this.centerY = isFinite(y) ? y : maxy / 2;
    } else {
      this.fitted = true;
      this.scale = this.fitScale();
      map.zoom = 0;
      this.centerX = maxx / 2;
      this.centerY = maxy / 2;
    }
    this.clampCenter();
    this.viewChanged();
  };

  // ---- Pages -------------------------------------------------------------

  // Another page opens whole.
  Viewer.prototype.showPage = function (page) {
    if (page < 1 || page > numberofpages || page === this.page) return;
    this.openPage(page);
    this.fitted = true;
    this.scale = this.fitScale();
    map.zoom = 0;
    this.centerX = maxx / 2;
    this.centerY = maxy / 2;
    this.viewChanged();
  };

  Viewer.prototype.openPage = function (page) {
    var self = this;
    this.page = page;
    pagenumber = page;
    this.failed = '';
    this.queue = [];
    this.swatchesPainted = 0;
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
    this.inspector.hidden = true;
    // What the answer panel said was about the page before.
    this.setAnswerStatus('', '');
    this.mailBox.hidden = true;
    this.showAnswer();
    this.requestSwatches();
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

  Viewer.prototype.request = function (key, database, column, row, transform) {
    if (this.bitmaps.has(key) || this.loading.has(key)) return;
    this.queue.push({ key: key, database: database, column: column, row: row, transform: transform,
                      page: this.page });
  };

  // A level 4 tile as plate combination indices and the page's colour table
  // as palette; null when the tile is missing, or the tile carries no index
  // chunk or the page no colour table (then separations are not
  // available: never a wrong colour). Kept for the inspector and for other
  // ink choices.
  Viewer.prototype.indexedTile = function (page, column, row) {
    var key = page + '/' + column + '/' + row;
    var self = this;
    var known = this.indexed.get(key);
    if (known) {
      this.indexed.delete(key);
      this.indexed.set(key, known);
      return known;
    }
    var database = this.database(page, fullLevel());
    var entry = this.pageInks(page);
    if (entry && entry.colorTable === undefined) entry.colorTable = colorTable(entry);
    var table = entry ? entry.colorTable : null;
    var promise = database.ready.then(function () { return database.tile(column, row); }).then(function (blob) {
      if (!blob) return null;
      return blob.arrayBuffer().then(decodePalettePng).then(function (tile) {
        var entries = tile.entries;
        if (!table || !entries || tile.width !== TILE || tile.height !== TILE ||
            entries.length * 3 !== tile.palette.length)
          throw new Error('the tile or its page carries no plate combination indices');
        var indices = tile.indices;
        for (var p = 0; p < indices.length; p++) {
          if (indices[p] >= entries.length) throw new Error('a tile pixel outside its palette');
          indices[p] = entries[indices[p]];
        }
        return { width: tile.width, height: tile.height, indices: indices, palette: table };
      }).catch(function () {
        // A tile or ink data of a job made before tiles kept their indices.
        self.noIndices = true;
        self.requestDraw();
        return null;
      });
    });
    // A tile that could not be fetched is asked for again next time.
    promise.catch(function () { if (self.indexed.get(key) === promise) self.indexed.delete(key); });
    this.indexed.set(key, promise);
    while (this.indexed.size > MAX_INDEXED) this.indexed.delete(this.indexed.keys().next().value);
    return promise;
  };

  // The tile with the hidden inks' bits set to "not inked": every pixel the
  // colour table's entry of its changed index.
  function separatedBitmap(tile, transform) {
    var lookup = new Uint8Array(256 * 3);
    for (var index = 0; index < 256; index++) {
      var shown = (index | transform.set) & ~transform.clear;
      lookup[index * 3] = tile.palette[shown * 3];
      lookup[index * 3 + 1] = tile.palette[shown * 3 + 1];
      lookup[index * 3 + 2] = tile.palette[shown * 3 + 2];
    }
    var picture = new ImageData(tile.width, tile.height);
    var out = picture.data, indices = tile.indices;
    for (var p = 0, o = 0; p < indices.length; p++, o += 4) {
      var at = indices[p] * 3;
      out[o] = lookup[at];
      out[o + 1] = lookup[at + 1];
      out[o + 2] = lookup[at + 2];
      out[o + 3] = 255;
    }
    return createImageBitmap(picture);
  }

  Viewer.prototype.loadTile = function (job) {
    if (!job.transform)
      return job.database.tile(job.column, job.row).then(function (blob) {
        return blob ? createImageBitmap(blob) : null;
      });
    return this.indexedTile(job.page, job.column, job.row).then(function (tile) {
      return tile ? separatedBitmap(tile, job.transform) : null;
    });
  };

  Viewer.prototype.pump = function () {
    var self = this;
    while (this.inFlight < MAX_LOADS && this.queue.length) {
      var job = this.queue.shift();
      if (this.bitmaps.has(job.key) || this.loading.has(job.key)) continue;
      this.loading.add(job.key);
      this.inFlight++;
      (function (job) {
        self.loadTile(job).then(function (bitmap) {
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
      if (keep.has(key) || /^\d+\/0\//.test(key)) continue;
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

  // Level 4 tiles a view at the scale needs, at most (the view anywhere).
  Viewer.prototype.fullTilesAt = function (scale) {
    var ratio = window.devicePixelRatio || 1;
    var across = Math.min(Math.ceil(maxx / TILE) + 1, Math.ceil(this.canvas.width / (scale * ratio) / TILE) + 1);
    var down = Math.min(Math.ceil(maxy / TILE) + 1, Math.ceil(this.canvas.height / (scale * ratio) / TILE) + 1);
    return across * down;
  };

  // The smallest zoom at which the view with inks switched off is drawn.
  Viewer.prototype.separationScale = function () {
    var scale = 1;
    while (scale > 0.01 && this.fullTilesAt(scale / 1.1) <= MAX_SEPARATED) scale /= 1.1;
    return scale;
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
    context.imageSmoothingQuality = 'high';
    this.queue = [];
    this.visibleKeys = new Set();
    this.notice = '';
    var transform = this.inkTransform(), full = fullLevel();
    map.zoom = this.viewLevel();
    if (!transform) {
      this.drawLevel(context, place, 0, null);
      if (map.zoom !== 0) this.drawLevel(context, place, map.zoom, null);
    } else if (transform === 'pending') {
      // The inks are not known yet: paper rather than inks switched off.
    } else if (this.noIndices || full < 0) {
      this.notice = 'Separations are not available for this proof: switch every ink on to see the page.';
    } else if (this.scale >= 0.999 || this.fullTilesAt(this.scale) <= MAX_SEPARATED) {
      // Only the master's own pixels say which inks are where; no coarser
      // level stands in for them, not even while they load.
      map.zoom = full;
      this.drawLevel(context, place, full, transform);
    } else {
      this.notice = 'With inks switched off the page shows from ' + percent(this.separationScale()) +
                    ' inward: zoom in, or switch every ink on.';
    }
    context.restore();
    this.message.textContent = this.failed;
    this.message.hidden = !this.failed;
    this.noticeBox.textContent = this.notice;
    this.noticeBox.hidden = !this.notice;
    this.showInkStatus();
    this.drawNavigator();
    this.placeMarkers(place);
    this.pump();
  };

  Viewer.prototype.drawLevel = function (context, place, level, transform) {
    var database = this.database(this.page, level);
    if (!database.index) return;
    var grid = levelGrid(level, database);
    var size = grid.source * place.k;
    // The master's own pixels from 100 % inward are sharp squares; tiles
    // drawn smaller than their pixels are smoothed.
    context.imageSmoothingEnabled = !(factors[level] === 1 && place.k >= 1);
    var firstColumn = Math.max(0, Math.floor(-place.x / size));
    var lastColumn = Math.min(grid.columns - 1, Math.floor((this.canvas.width - place.x) / size));
    var suffix = transform ? '#' + transform.key : '';
    for (var row = 0; row < grid.rows; row++) {
      var rect = tileRect(grid, 0, row);
      var top = place.y + rect.y * place.k;
      if (top > this.canvas.height || top + size < 0) continue;
      for (var column = firstColumn; column <= lastColumn; column++) {
        var key = this.page + '/' + level + '/' + column + '/' + row + suffix;
        this.visibleKeys.add(key);
        var bitmap = this.bitmaps.get(key);
        if (bitmap === undefined) {
          this.request(key, database, column, row, transform);
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

  // ---- Plate inspector -------------------------------------------------------

  // From 100 % inward: the inks inked at the master pixel under the point.
  Viewer.prototype.inspect = function (point) {
    var self = this;
    var entry = this.pageInks(this.page), full = fullLevel();
    if (this.scale < 0.999 || !entry || full < 0) {
      this.inspector.hidden = true;
      return;
    }
    var x = Math.floor(this.centerX + (point.x - this.viewWidth / 2) / this.scale);
    var y = Math.floor(this.centerY + (point.y - this.viewHeight / 2) / this.scale);
    if (x < 0 || y < 0 || x >= maxx || y >= maxy) {
      this.inspector.hidden = true;
      return;
    }
    var database = this.database(this.page, full);
    var page = this.page;
    this.inspected = page + '/' + x + '/' + y;
    database.ready.then(function () {
      var rows = database.rows, overhang = rows * TILE - maxy;
      var column = Math.floor(x / TILE), row = rows - 1 - Math.floor((y + overhang) / TILE);
      var top = (rows - 1 - row) * TILE - overhang;
      return self.indexedTile(page, column, row).then(function (tile) {
        if (self.inspected !== page + '/' + x + '/' + y) return;
        if (!tile) {
          self.inspector.textContent = 'The inks of a pixel are not available for this proof.';
        } else {
          var index = tile.indices[(y - top) * TILE + (x - column * TILE)];
          var inked = entry.plates.filter(function (plate) {
            return ((index >> plate.bit) & 1) === entry.inked;
          }).map(function (plate) { return plate.name; });
          self.inspector.textContent = 'Pixel ' + x + ', ' + y + ': ' + (inked.length ? inked.join(' + ') : 'no ink');
        }
        self.inspector.hidden = false;
      });
    });
  };

  // ---- Answers: decision per page, notes on the page, sending -----------------

  var COMMENT_LIMIT = 2000;
  var NAME_LIMIT = 100;
  var EMAIL_LIMIT = 254;
  var NOTE_LIMIT = 20;        // notes one answer carries
  var NOTE_TEXT_LIMIT = 500;
  var ANSWER_TIMEOUT = 20000; // ms before an answer that is not taken goes by mail
  var DECISIONS = { approve: 'approved', changes: 'changes requested' };

  function mailAddress() {
    return 'mailto:' + encodeURIComponent(replyemail).replace(/%40/g, '@');
  }

  // The job's folder on the web host: the name the answer endpoint checks.
  function jobFolder() {
    return datadirectory.replace(/\/$/, '');
  }

  // The reviewer's name and address stay in the browser where it lets them.
  function remembered(key) {
    try {
      return window.localStorage.getItem('tavrin.' + key) || '';
    } catch (error) {
      return '';
    }
  }

  function remember(key, value) {
    try {
      window.localStorage.setItem('tavrin.' + key, value);
    } catch (error) {
      // Storage switched off: the fields are filled in by hand next time.
    }
  }

  // JSON in ASCII only, with no markup characters: it travels through mail
  // programs and stays inert wherever it is pasted.
  function asciiJSON(value) {
    return JSON.stringify(value).replace(/[\u007f-\uffff<>&']/g, function (character) {
      return '\\u' + ('000' + character.charCodeAt(0).toString(16)).slice(-4);
    });
  }

  function textField(tag, label, limit) {
    var box = element('label', 'tv-field');
    var field = element(tag, 'tv-input');
    field.maxLength = limit;
    box.append(element('span', '', label), field);
    return { box: box, field: field };
  }

  // Resolves with {outcome: 'stored' | 'refused' | 'unreachable', reason}.
  // Only the endpoint's own answers count as stored or refused: anything
  // else (no PHP on the host, a page that is not the endpoint) goes by mail.
  function postAnswer(answer) {
    var form = new URLSearchParams();
    Object.keys(answer).forEach(function (key) {
      form.append(key, key === 'notes' ? JSON.stringify(answer.notes) : String(answer[key]));
    });
    var controller = typeof AbortController === 'function' ? new AbortController() : null;
    var timer = controller ? setTimeout(function () { controller.abort(); }, ANSWER_TIMEOUT) : null;
    return fetch(baseurl + scriptdirectory + 'reply.php', {
      method: 'POST', body: form, cache: 'no-store', signal: controller ? controller.signal : undefined
    }).then(function (response) {
      return response.text().then(function (text) {
        var ours = response.headers.get('X-Tavrin-Reply') === '1';
        var reason = text.split('\n')[0].trim().slice(0, 300);
        if (response.status === 201 && reason === 'stored') return { outcome: 'stored' };
        if (ours && (response.status === 400 || response.status === 413)) return { outcome: 'refused', reason: reason };
        return { outcome: 'unreachable', reason: ours && reason ? reason : 'HTTP ' + response.status };
      });
    }, function (error) {
      return { outcome: 'unreachable', reason: error && error.name === 'AbortError' ? 'no answer in time' : 'no connection' };
    }).then(function (result) {
      if (timer) clearTimeout(timer);
      return result;
    });
  }

  Viewer.prototype.buildAnswer = function () {
    var self = this;
    var box = element('div', 'tv-answer');
    this.answerHeading = element('h2', 'tv-heading');
    var choice = element('div', 'tv-choice');
    choice.setAttribute('role', 'group');
    choice.setAttribute('aria-label', 'Your decision');
    this.approveButton = button('Approve', 'Approve this page', function () { self.decide('approve'); });
    this.approveButton.id = 'tv-approve';
    this.changesButton = button('Request changes', 'Request changes to this page', function () { self.decide('changes'); });
    this.changesButton.id = 'tv-changes';
    choice.append(this.approveButton, this.changesButton);
    var comment = textField('textarea', 'Comment (optional)', COMMENT_LIMIT);
    this.commentField = comment.field;
    this.commentField.id = 'tv-comment';
    this.commentField.rows = 3;
    this.commentField.addEventListener('input', function () { self.answerDraft(self.page).comment = self.commentField.value; });
    var name = textField('input', 'Your name', NAME_LIMIT);
    this.nameField = name.field;
    this.nameField.id = 'tv-name';
    this.nameField.autocomplete = 'name';
    this.nameField.value = remembered('name');
    var email = textField('input', 'Your e-mail', EMAIL_LIMIT);
    this.emailField = email.field;
    this.emailField.id = 'tv-email';
    this.emailField.type = 'email';
    this.emailField.autocomplete = 'email';
    this.emailField.value = remembered('email');
    this.noteCount = element('p', 'tv-notecount');
    this.sendButton = button('Send answer', 'Send your answer for this page', function () { self.sendAnswer(); });
    this.sendButton.id = 'tv-send';
    this.answerStatus = element('p', 'tv-answerstatus');
    this.answerStatus.id = 'tv-answerstatus';
    this.answerStatus.setAttribute('role', 'status');
    // The same answer as a mail, when the web host takes none.
    this.mailBox = element('div', 'tv-mailbox');
    this.mailBox.hidden = true;
    this.mailLink = element('a', 'tv-reply', 'Send the answer by e-mail');
    this.mailLink.id = 'tv-answermail';
    this.mailBlock = element('textarea', 'tv-input tv-block');
    this.mailBlock.readOnly = true;
    this.mailBlock.rows = 4;
    this.mailBlock.setAttribute('aria-label', 'The answer as text to paste into a mail');
    this.mailBox.append(this.mailLink, element('p', '', 'or copy this into a mail to ' + replyemail + ':'),
                        this.mailBlock);
    this.sentList = element('ul', 'tv-sent');
    box.append(this.answerHeading, choice, comment.box, name.box, email.box, this.noteCount, this.sendButton,
               this.answerStatus, this.mailBox, this.sentList);
    return box;
  };

  Viewer.prototype.buildNotes = function () {
    var self = this;
    var panel = element('div', 'tv-panel');
    panel.id = 'tv-notes';
    panel.append(element('p', 'tv-text', 'Place a note on the page to show exactly what you mean. ' +
                                        'The notes of a page go with your answer for that page.'));
    this.placeButton = button('Place a note', 'Place a note on the page', function () { self.startPlacing(); });
    this.placeButton.id = 'tv-placenote';
    this.noteHint = element('p', 'tv-notehint');
    this.noteHint.setAttribute('role', 'status');
    this.noteEditor = element('div', 'tv-noteeditor');
    this.noteEditor.hidden = true;
    var text = textField('textarea', 'Note', NOTE_TEXT_LIMIT);
    this.noteField = text.field;
    this.noteField.id = 'tv-notetext';
    this.noteField.rows = 3;
    this.noteEditor.append(text.box, button('Keep note', 'Keep the note', function () { self.keepNote(); }),
                           button('Cancel', 'Do not keep the note', function () { self.cancelNote(); }));
    this.noteList = element('ol', 'tv-notelist');
    panel.append(this.placeButton, this.noteHint, this.noteEditor, this.noteList);
    return panel;
  };

  Viewer.prototype.fingerprintLoaded = function (print) {
    var self = this;
    this.fingerprint = print;
    var box = this.fingerprintBox;
    box.textContent = '';
    if (!print) {
      box.textContent = 'not recorded for this proof';
      return;
    }
    var shown = button(print.slice(0, 12) + '\u2026', 'Show the whole fingerprint', function () {
      shown.textContent = print;
      shown.title = 'The proof\'s fingerprint';
    });
    shown.className = 'tv-button tv-fingerprint';
    shown.title = print;
    box.append(shown);
  };

  Viewer.prototype.answerDraft = function (page) {
    if (!this.answers[page]) this.answers[page] = { decision: '', comment: '' };
    return this.answers[page];
  };

  Viewer.prototype.decide = function (decision) {
    this.answerDraft(this.page).decision = decision;
    this.showAnswer();
  };

  // The answer form for the page now shown.
  Viewer.prototype.showAnswer = function () {
    if (!this.answerHeading) return;
    var draft = this.answerDraft(this.page);
    this.answerHeading.textContent = 'Your answer for page ' + this.page;
    this.approveButton.setAttribute('aria-pressed', draft.decision === 'approve' ? 'true' : 'false');
    this.changesButton.setAttribute('aria-pressed', draft.decision === 'changes' ? 'true' : 'false');
    this.commentField.value = draft.comment;
    this.sendButton.textContent = 'Send answer for page ' + this.page;
    var count = this.pageNotes(this.page, false).length;
    this.noteCount.textContent = count === 0 ? 'No notes on this page (see Notes to place some).' :
                                 count + (count === 1 ? ' note' : ' notes') + ' on this page go with the answer.';
  };

  Viewer.prototype.pageNotes = function (page, sent) {
    return this.notes.filter(function (note) { return note.page === page && (sent === undefined || note.sent === sent); });
  };

  // The answer for the page as the endpoint and the mail block carry it.
  Viewer.prototype.answerFor = function (page) {
    var draft = this.answerDraft(page);
    return {
      job: jobFolder(),
      page: page,
      decision: draft.decision,
      comment: draft.comment,
      name: this.nameField.value.trim(),
      email: this.emailField.value.trim(),
      fingerprint: this.fingerprint || '',
      notes: this.pageNotes(page, false).map(function (note) { return { x: note.x, y: note.y, text: note.text }; })
    };
  };

  Viewer.prototype.setAnswerStatus = function (text, kind) {
    this.answerStatus.textContent = text;
    this.answerStatus.className = 'tv-answerstatus' + (kind ? ' tv-' + kind : '');
  };

  Viewer.prototype.sendAnswer = function () {
    var self = this;
    // Every answer carries the fingerprint: wait for proof.js if it is still on its way.
    Promise.resolve(this.fingerprintReady).then(function () { self.sendAnswerNow(self.page); });
  };

  Viewer.prototype.sendAnswerNow = function (page) {
    var self = this;
    var answer = this.answerFor(page);
    this.mailBox.hidden = true;
    if (!answer.decision) {
      this.setAnswerStatus('Choose Approve or Request changes first.', 'error');
      return;
    }
    if (answer.email && !/^[^\s@]+@[^\s@]+\.[^\s@]+$/.test(answer.email)) {
      this.setAnswerStatus('Please check your e-mail address.', 'error');
      return;
    }
    remember('name', answer.name);
    remember('email', answer.email);
    this.sendButton.disabled = true;
    this.setAnswerStatus('Sending your answer for page ' + page + '\u2026', '');
    postAnswer(answer).then(function (result) {
      self.sendButton.disabled = false;
      if (result.outcome === 'stored') {
        self.answerSent(answer);
        self.setAnswerStatus('Your answer for page ' + page + ' (' + DECISIONS[answer.decision] +
                             ') was received. Thank you.', 'ok');
      } else if (result.outcome === 'refused') {
        self.setAnswerStatus('The answer was not accepted: ' + result.reason + '.', 'error');
      } else {
        self.offerMail(answer);
        self.setAnswerStatus('The proof\'s web server could not take the answer (' + result.reason +
                             '). Please send it by e-mail instead.', 'error');
      }
    });
  };

  // A stored answer: its notes are sent, the page's draft starts afresh.
  Viewer.prototype.answerSent = function (answer) {
    this.pageNotes(answer.page, false).forEach(function (note) { note.sent = true; });
    this.answers[answer.page] = { decision: '', comment: '' };
    var item = element('li', '', 'Page ' + answer.page + ': ' + DECISIONS[answer.decision] +
                       (answer.notes.length ? ', ' + answer.notes.length + ' note(s)' : '') + ' \u2013 ' +
                       new Date().toLocaleTimeString());
    if (answer.comment) item.append(element('span', 'tv-sentcomment', answer.comment));
    this.sentList.append(item);
    this.showAnswer();
    this.fillNotes();
  };

  // The mail that carries the answer: a sentence, then the block the
  // station reads from a pasted mail.
  Viewer.prototype.offerMail = function (answer) {
    var stamped = {};
    Object.keys(answer).forEach(function (key) { stamped[key] = answer[key]; });
    stamped.time = new Date().toISOString().replace(/\.\d+Z$/, 'Z');
    var block = '-----BEGIN TAVRIN ANSWER-----\r\n' + asciiJSON(stamped) + '\r\n-----END TAVRIN ANSWER-----';
    var body = 'My answer for page ' + answer.page + ' of the proof "' + jobname + '": ' +
               DECISIONS[answer.decision] + '. Please keep the lines below as they are.\r\n\r\n' + block + '\r\n';
    this.mailLink.href = mailAddress() + '?subject=' + encodeURIComponent(jobname + ' answer') +
                         '&body=' + encodeURIComponent(body);
    this.mailBlock.value = block;
    this.mailBox.hidden = false;
  };

  // ---- Notes pinned to the page ------------------------------------------------

  Viewer.prototype.startPlacing = function () {
    this.cancelNote();
    if (this.pageNotes(this.page, false).length >= NOTE_LIMIT) {
      this.noteHint.textContent = 'An answer carries at most ' + NOTE_LIMIT + ' notes: send this page\'s answer first.';
      return;
    }
    this.placing = true;
    this.stage.classList.add('tv-placing');
    this.noteHint.textContent = 'Click or tap the page where the note belongs.';
  };

  // A tap while placing: the master pixel under it gets the note.
  Viewer.prototype.placeNote = function (point) {
    var x = Math.floor(this.centerX + (point.x - this.viewWidth / 2) / this.scale);
    var y = Math.floor(this.centerY + (point.y - this.viewHeight / 2) / this.scale);
    if (x < 0 || y < 0 || x >= maxx || y >= maxy) {
      this.noteHint.textContent = 'That is outside the page: click or tap on the page itself.';
      return;
    }
    this.placing = false;
    this.stage.classList.remove('tv-placing');
    this.draftNote = { page: this.page, x: x, y: y, zoom: Number(this.scale.toFixed(4)), text: '', sent: false };
    this.noteHint.textContent = 'Note at ' + x + ', ' + y + ' on page ' + this.page + ': write what should change.';
    this.noteEditor.hidden = false;
    this.noteField.value = '';
    this.selectTab(3);
    this.noteField.focus();
    this.requestDraw();
  };

  Viewer.prototype.keepNote = function () {
    var text = this.noteField.value.trim();
    if (!this.draftNote) return;
    if (!text) {
      this.noteHint.textContent = 'Write the note first, or cancel it.';
      return;
    }
    this.draftNote.text = text;
    this.notes.push(this.draftNote);
    this.draftNote = null;
    this.noteEditor.hidden = true;
    this.noteHint.textContent = '';
    this.fillNotes();
    this.showAnswer();
    this.requestDraw();
  };

  Viewer.prototype.cancelNote = function () {
    this.placing = false;
    this.stage.classList.remove('tv-placing');
    this.draftNote = null;
    this.noteEditor.hidden = true;
    this.noteHint.textContent = '';
    this.requestDraw();
  };

  Viewer.prototype.removeNote = function (note) {
    this.notes.splice(this.notes.indexOf(note), 1);
    this.fillNotes();
    this.showAnswer();
    this.requestDraw();
  };

  Viewer.prototype.noteFragment = function (note) {
    return '#page=' + note.page + '&zoom=' + note.zoom + '&x=' + note.x + '&y=' + note.y;
  };

  // The Notes panel: each note opens the view it was placed in.
  Viewer.prototype.fillNotes = function () {
    var self = this;
    this.noteList.textContent = '';
    for (var page = 1; page <= numberofpages; page++) {
      this.pageNotes(page).forEach(function (note, index) {
        var item = element('li', 'tv-note');
        var fragment = self.noteFragment(note);
        var link = element('a', 'tv-notelink', 'Page ' + note.page + ', note ' + (index + 1));
        link.href = fragment;
        link.addEventListener('click', function (event) {
          // The address may already hold this view: no hashchange then.
          if (location.hash !== fragment) return;
          event.preventDefault();
          self.applyFragment(fragment);
        });
        item.append(link, element('span', 'tv-notetext', note.text));
        if (note.sent) item.append(element('span', 'tv-notesent', 'sent'));
        else item.append(button('Remove', 'Remove this note', function () { self.removeNote(note); }));
        self.noteList.append(item);
      });
    }
  };

  // Markers over the canvas at each note of the page, at every zoom.
  Viewer.prototype.placeMarkers = function (place) {
    var ratio = window.devicePixelRatio || 1;
    var notes = this.pageNotes(this.page);
    if (this.draftNote && this.draftNote.page === this.page) notes = notes.concat([this.draftNote]);
    var shown = this.markers.children;
    while (shown.length > notes.length) this.markers.removeChild(this.markers.lastChild);
    while (shown.length < notes.length) this.markers.append(element('div', 'tv-marker'));
    for (var i = 0; i < notes.length; i++) {
      var note = notes[i], marker = shown[i];
      var left = (place.x + (note.x + 0.5) * place.k) / ratio, top = (place.y + (note.y + 0.5) * place.k) / ratio;
      marker.textContent = note === this.draftNote ? '+' : String(i + 1);
      marker.title = note.text;
      marker.className = 'tv-marker' + (note === this.draftNote ? ' tv-draft' : '') + (note.sent ? ' tv-sentnote' : '');
      marker.style.left = left + 'px';
      marker.style.top = top + 'px';
      marker.hidden = left < -20 || top < -20 || left > this.viewWidth + 20 || top > this.viewHeight + 20;
    }
  };

  // ---- Printing --------------------------------------------------------------

  // The sharpest level whose whole page is affordable to fetch; the
  // master's own pixels when inks are switched off.
  Viewer.prototype.printLevel = function (transform) {
    var full = fullLevel();
    var tiles = function (level) {
      var across = Math.ceil(maxx * factors[level] / TILE) + 1, down = Math.ceil(maxy * factors[level] / TILE) + 1;
      return across * down;
    };
    if (transform) return full >= 0 && !this.noIndices && tiles(full) <= MAX_PRINT_TILES ? full : -1;
    var levels = usableLevels();
    for (var i = levels.length - 1; i > 0; i--)
      if (tiles(levels[i]) <= MAX_PRINT_TILES) return levels[i];
    return 0;
  };

  // Draws the whole page from one level into a picture for the printer;
  // resolves with false when inks switched off cannot be printed.
  Viewer.prototype.preparePrint = function () {
    var self = this, page = this.page, transform = this.inkTransform();
    if (transform === 'pending') transform = null;
    var level = this.printLevel(transform);
    var state = page + '|' + (transform ? transform.key : '');
    if (this.printed === state) return Promise.resolve(true);
    this.printTitle.textContent = jobname + ' \u2013 page ' + page + ' of ' + numberofpages +
                                  (this.hidden.size ? ' \u2013 without ' + Array.from(this.hidden).join(', ') : '');
    if (level < 0) {
      this.printPicture.removeAttribute('src');
      this.printTitle.textContent += ': this page is too large to print with inks switched off.';
      return Promise.resolve(false);
    }
    var database = this.database(page, level);
    return database.ready.then(function () {
      var grid = levelGrid(level, database);
      var k = Math.min(factors[level], MAX_PRINT_SIDE / Math.max(maxx, maxy));
      var canvas = document.createElement('canvas');
      canvas.width = Math.max(1, Math.round(maxx * k));
      canvas.height = Math.max(1, Math.round(maxy * k));
      var context = canvas.getContext('2d');
      context.fillStyle = '#ffffff';
      context.fillRect(0, 0, canvas.width, canvas.height);
      context.imageSmoothingEnabled = k * grid.source / TILE < 1;
      context.imageSmoothingQuality = 'high';
      var jobs = [];
      for (var row = 0; row < grid.rows; row++)
        for (var column = 0; column < grid.columns; column++)
          jobs.push({ database: database, column: column, row: row, transform: transform, page: page });
      var missing = 0;
      return Promise.all(jobs.map(function (job) {
        return self.loadTile(job).catch(function () {
          missing++;
          return null;
        }).then(function (bitmap) {
          if (!bitmap) return;
          var rect = tileRect(grid, job.column, job.row);
          var x0 = Math.round(rect.x * k), x1 = Math.round((rect.x + rect.size) * k);
          var y0 = Math.round(rect.y * k), y1 = Math.round((rect.y + rect.size) * k);
          context.drawImage(bitmap, x0, y0, x1 - x0, y1 - y0);
          bitmap.close();
        });
      })).then(function () {
        if (missing) self.printTitle.textContent += ' (' + missing + ' part(s) of the page could not be loaded)';
        self.printPicture.src = canvas.toDataURL('image/png');
        self.printPicture.alt = self.printTitle.textContent;
        self.printed = missing ? '' : state;
        return self.printPicture.decode().then(function () { return true; });
      });
    });
  };

  // Ctrl+P without the Print button: the page from the tiles in memory
  // (level 0 is always there), unless a sharper picture is ready.
  Viewer.prototype.printFromMemory = function () {
    var transform = this.inkTransform();
    var state = this.page + '|' + (transform && transform !== 'pending' ? transform.key : '');
    if (this.printed === state) return;
    this.printed = '';
    this.printTitle.textContent = jobname + ' \u2013 page ' + this.page + ' of ' + numberofpages;
    var database = this.databases[this.page + '/0'];
    if (transform || !database || !database.index) {
      this.printPicture.removeAttribute('src');
      this.printTitle.textContent += ': use the Print button to print this page.';
      return;
    }
    var grid = levelGrid(0, database), k = factors[0] * 2;
    var canvas = document.createElement('canvas');
    canvas.width = Math.round(maxx * k);
    canvas.height = Math.round(maxy * k);
    var context = canvas.getContext('2d');
    context.fillStyle = '#ffffff';
    context.fillRect(0, 0, canvas.width, canvas.height);
    for (var row = 0; row < grid.rows; row++)
      for (var column = 0; column < grid.columns; column++) {
        var bitmap = this.bitmaps.get(this.page + '/0/' + column + '/' + row);
        if (!bitmap) continue;
        var rect = tileRect(grid, column, row);
        context.drawImage(bitmap, rect.x * k, rect.y * k, rect.size * k, rect.size * k);
      }
    this.printPicture.src = canvas.toDataURL('image/png');
  };

  Viewer.prototype.print = function () {
    this.preparePrint().then(function () { window.print(); });
  };

  return {
    Viewer: Viewer,
    TileDatabase: TileDatabase,
    decodePalettePng: decodePalettePng,
    loadInks: loadInks,
    loadFingerprint: loadFingerprint,
    style: STYLE,
    instance: null
  };
})();

// Builds the viewer inside the element with the given id; the point (in
// level 0 pixels) is where the view is centred, 0, 0 for the page's middle.
// The address's fragment, when there is one, gives the view instead.
function initialize(containerId, x, y) {
  var container = document.getElementById(containerId);
  if (!container || TavrinViewer.instance) return;
  var start = function () {
    var viewer = TavrinViewer.instance = new TavrinViewer.Viewer(container);
    if (location.hash.length > 1) viewer.applyFragment(location.hash);
    else if (x || y) invalidate(x, y, null);
    viewer.started = true;
    TavrinViewer.loadInks(viewer.dataURL('inks.js')).then(function (pages) { viewer.inksLoaded(pages); });
    viewer.fingerprintReady = TavrinViewer.loadFingerprint(viewer.dataURL('proof.js')).then(function (print) {
      viewer.fingerprintLoaded(print);
    });
    initialized = true;
  };
  var head = document.getElementsByTagName('head')[0];
  var style = document.createElement('link');
  style.rel = 'stylesheet';
  style.href = baseurl + scriptdirectory + 'tavrin.css';
  style.onload = start;
  style.onerror = start;
  head.appendChild(style);
  // After the shared stylesheet, so that these rules win over older ones.
  var own = document.createElement('style');
  own.textContent = TavrinViewer.style;
  head.appendChild(own);
}

// Redraws the view at the level; null coordinates keep the current position.
function invalidate(x, y, level) {
  if (TavrinViewer.instance) TavrinViewer.instance.invalidate(x, y, level);
}
