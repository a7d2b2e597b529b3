// The tile databases of a job, read with HTTP Range requests.
'use strict';

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

module.exports = { TileDatabase: TileDatabase };
