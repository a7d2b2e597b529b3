// The address's fragment, which holds the view so that a copied address
// opens it again: #page=P&zoom=Z&x=X&y=Y&hide=INK,INK, Z screen pixels per
// master pixel, X, Y the master pixel at the centre of the view, the inks
// switched off by name (URL-encoded). A page shown whole has no zoom, x or y.
'use strict';

// view: {page, fitted, scale, centerX, centerY, hidden: names of the inks switched off}.
function formatFragment(view) {
  var parts = ['page=' + view.page];
  if (!view.fitted)
    parts.push('zoom=' + Number(view.scale.toFixed(4)), 'x=' + Math.round(view.centerX),
               'y=' + Math.round(view.centerY));
  if (view.hidden.length)
    parts.push('hide=' + view.hidden.map(encodeURIComponent).join(','));
  return '#' + parts.join('&');
}

// What a fragment asks for, each part null where it is missing or makes no
// sense: page (1 to pages), zoom (above 0), x, y (finite numbers) and hide
// (the ink names; none for "hide=" alone). Anything typed into an address
// is taken: a name that does not decode is kept as written.
function parseFragment(hash, pages) {
  var values = {};
  String(hash || '').replace(/^#/, '').split('&').forEach(function (pair) {
    var at = pair.indexOf('=');
    if (at > 0) values[pair.slice(0, at)] = pair.slice(at + 1);
  });
  var page = parseInt(values.page, 10);
  var zoom = parseFloat(values.zoom), x = parseFloat(values.x), y = parseFloat(values.y);
  return {
    page: page >= 1 && page <= pages ? page : null,
    zoom: zoom > 0 && isFinite(zoom) ? zoom : null,
    x: isFinite(x) ? x : null,
    y: isFinite(y) ? y : null,
    hide: values.hide === undefined ? null : values.hide.split(',').filter(Boolean).map(function (name) {
      try { return decodeURIComponent(name); } catch (error) { return name; }
    })
  };
}

module.exports = { formatFragment: formatFragment, parseFragment: parseFragment };
