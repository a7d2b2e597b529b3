// The page around the viewer: the job's data that the page generator
// writes as global variables above the script, and the page's own
// functions and flags the viewer calls or sets. The only module that
// touches the page's globals.
'use strict';
/* global factors, maxx, maxy, numberofpages, jobname, xresolution, yresolution, creationdate, colors,
          approvaltext, helptext, replyemail, replyemailname, baseurl, datadirectory, scriptdirectory,
          maxzoom, mapviews, zoomMap, pagenumber: writable, dfloaded: writable */

// Read once when the script runs: the page sets them before it and never after.
var proof = {
  factors: factors,
  maxx: maxx,
  maxy: maxy,
  numberofpages: numberofpages,
  jobname: jobname,
  xresolution: xresolution,
  yresolution: yresolution,
  creationdate: creationdate,
  colors: colors,
  approvaltext: approvaltext,
  helptext: helptext,
  replyemail: replyemail,
  replyemailname: replyemailname,
  baseurl: baseurl,
  datadirectory: datadirectory,
  scriptdirectory: scriptdirectory,
  maxzoom: maxzoom,
  mapviews: typeof mapviews !== 'undefined' ? mapviews : undefined
};

module.exports = {
  proof: proof,
  // The level the view shows, which the page's zoom functions read (the
  // joined script's first line makes it).
  map: map,
  // The page's own zoom function (level 0: the whole page).
  zoomMap: function (level) { zoomMap(level); },
  // The page's current page number.
  setPageNumber: function (page) { pagenumber = page; },
  // The page's ready() waits for the data frame.
  dataFrameLoaded: function () { dfloaded = true; }
};
