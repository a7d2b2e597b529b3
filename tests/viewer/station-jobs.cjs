// Web proofs made by the station itself: page buffers written by pgbwrite
// from patterns of single-pixel checkerboards, catalogued, mastered and
// cut by tavrin-cli in a scratch program folder, then laid out on the web
// root as the Transfer task lays them out.
'use strict';
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

// Plates in plate order, with their bit in the palette index and the
// header's colour values (0..32767).
const PLATES = [
  { name: 'CYAN', file: 'Cyan', bit: 3, values: '32767,0,0,0' },
  { name: 'MAGENTA', file: 'Magenta', bit: 2, values: '0,32767,0,0' },
  { name: 'YELLOW', file: 'Yellow', bit: 1, values: '0,0,32767,0' },
  { name: 'BLACK', file: 'Black', bit: 0, values: '0,0,0,32767' },
  { name: 'PANTONE 151 C', file: 'PANTONE 151 C', bit: 4, values: '0,16000,32767,0' },
];

// The inks of pixel (x, y): checkerboards of two plate combinations in the
// top quarters, a solid area bottom left (other inks on page 2), paper
// bottom right.
function inksAt(page, x, y, width, height) {
  const even = (x + y) % 2 === 0;
  if (y < height / 2) {
    if (x < width / 2) return even ? ['CYAN', 'MAGENTA'] : ['YELLOW'];
    return even ? ['CYAN', 'PANTONE 151 C'] : ['BLACK'];
  }
  if (x < width / 2) return page === 1 ? ['MAGENTA'] : ['BLACK', 'YELLOW'];
  return [];
}

// The palette index of a set of inks: a plate's bit is 0 where it is inked.
function indexOf(inks) {
  return PLATES.reduce((index, plate) => (inks.includes(plate.name) ? index & ~(1 << plate.bit) : index), 255);
}

// A binary PBM (P4) of one plate: set bits are ink.
function plateBitmap(job, page, plate) {
  const { width, height } = job;
  const stride = Math.ceil(width / 8);
  const bits = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++)
      if (inksAt(page, x, y, width, height).includes(plate.name)) bits[y * stride + (x >> 3)] |= 0x80 >> (x & 7);
  return Buffer.concat([Buffer.from(`P4\n${width} ${height}\n`), bits]);
}

// Inked pixels of a page buffer, counted from what pgbinfo reads back.
function inkedPixels(pgbinfo, file) {
  const pbm = execFileSync(pgbinfo, ['--pbm', file], { maxBuffer: 1 << 28 });
  const header = /^P4\s+(\d+)\s+(\d+)\s/.exec(pbm.toString('latin1', 0, 64));
  const width = Number(header[1]), height = Number(header[2]);
  const stride = Math.ceil(width / 8);
  const data = pbm.subarray(header[0].length);
  let count = 0;
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++)
      if (data[y * stride + (x >> 3)] & (0x80 >> (x & 7))) count++;
  return { count, pixels: width * height };
}

// The colour map of a master TIFF (tag 320): 256 [r, g, b], low bytes.
function masterColorTable(file) {
  const bytes = fs.readFileSync(file);
  const little = bytes.toString('latin1', 0, 2) === 'II';
  const u16 = (at) => (little ? bytes.readUInt16LE(at) : bytes.readUInt16BE(at));
  const u32 = (at) => (little ? bytes.readUInt32LE(at) : bytes.readUInt32BE(at));
  const ifd = u32(4);
  for (let i = 0; i < u16(ifd); i++) {
    const entry = ifd + 2 + i * 12;
    if (u16(entry) !== 320) continue;
    const at = u32(entry + 8);
    const table = [];
    for (let v = 0; v < 256; v++)
      table.push([u16(at + v * 2) & 255, u16(at + 512 + v * 2) & 255, u16(at + 1024 + v * 2) & 255]);
    return table;
  }
  throw new Error(`${file} has no colour map`);
}

function readInksFile(file) {
  const text = fs.readFileSync(file, 'utf8').trim();
  const match = /^var pageinks=(.*);$/s.exec(text);
  if (!match) throw new Error(`${file} is not one "var pageinks=" statement`);
  return JSON.parse(match[1]);
}

// Makes the jobs with the station in scratch and puts their proofs on the
// web root; returns each job with its unique id, colour table and counts.
// A job with a rendered page ({rendered: PS file}) comes from
// tools/render-testpage.sh instead of a pattern.
// A scratch program folder of the build's station whose page buffer folder
// is scratch/pagebuffers and whose proofs are addressed at webAddress.
function prepareProgram({ buildDir, scratch, webAddress }) {
  const station = path.join(buildDir, 'station');
  const program = path.join(scratch, 'station');
  const pageBuffers = path.join(scratch, 'pagebuffers');
  fs.mkdirSync(program, { recursive: true });
  fs.mkdirSync(pageBuffers, { recursive: true });
  for (const name of ['tavrin-cli', 'tavrin.dbi', 'tavrin.js', 'help.txt', 'approval.txt'])
    fs.copyFileSync(path.join(station, name), path.join(program, name));
  fs.chmodSync(path.join(program, 'tavrin-cli'), 0o755);
  fs.writeFileSync(path.join(program, 'tavrin.ini'),
                   `[Main]\nInputFolder=${pageBuffers}/\nWebRoot=${webAddress}\nReplyEmail=proofs@example.com\n`);
  return { station, program, pageBuffers };
}

function makeStationJobs({ sourceDir, buildDir, scratch, webRoot, webAddress, jobs }) {
  const { station, program, pageBuffers } = prepareProgram({ buildDir, scratch, webAddress });
  const pgbwrite = path.join(buildDir, 'tools', 'pgbwrite', 'pgbwrite');
  const pgbinfo = path.join(station, 'pgbinfo');
  for (const job of jobs.filter((candidate) => candidate.rendered))
    execFileSync(path.join(sourceDir, 'tools', 'render-testpage.sh'),
                 ['-r', String(job.dpi), '-p', path.join(sourceDir, job.rendered), '-j', String(job.number), '-l',
                  String(job.pages), '-w', pgbwrite, pageBuffers], { stdio: ['ignore', 'ignore', 'inherit'] });
  for (const job of jobs.filter((candidate) => !candidate.rendered))
    for (let page = 1; page <= job.pages; page++)
      for (const plate of PLATES) {
        const pbm = path.join(scratch, 'plate.pbm');
        fs.writeFileSync(pbm, plateBitmap(job, page, plate));
        execFileSync(pgbwrite, ['--resolution', String(job.dpi), '--job-number', String(job.number),
                                '--page-number', String(page), '--job-name', `${job.number}.${job.name}.ps`,
                                '--color-name', plate.name, '--color-values', plate.values, pbm,
                                path.join(pageBuffers, `${job.number}-${page}-${plate.file}.pgb`)]);
      }
  const cli = path.join(program, 'tavrin-cli');
  execFileSync(cli, ['tree'], { stdio: ['ignore', 'ignore', 'inherit'] });
  // A due date the operator gave before the Web task ran: the viewer's header shows it.
  for (const job of jobs.filter((candidate) => candidate.due))
    execFileSync(cli, ['queue', 'due', String(job.number), job.due], { stdio: ['ignore', 'ignore', 'inherit'] });
  for (const job of jobs)
    execFileSync(cli, ['task', 'master', String(job.number), 'then', 'task', 'preview', String(job.number), 'then',
                       'task', 'web', String(job.number)], { stdio: ['ignore', 'ignore', 'inherit'] });

  const output = path.join(program, 'output');
  const tavrin = path.join(webRoot, 'tavrin');
  for (const folder of ['scripts', 'images'])
    fs.cpSync(path.join(station, folder), path.join(tavrin, folder), { recursive: true });
  for (const uid of fs.readdirSync(output).filter((name) => /^\d{17}$/.test(name))) {
    const index = fs.readFileSync(path.join(output, uid, 'index.html'), 'latin1');
    const name = /var jobname='(.*)';/.exec(index)[1];
    const job = jobs.find((candidate) => `${candidate.name}.ps` === name);
    job.uid = uid;
    // Where the upload puts the job (its unique id and secret): the page reads its tiles there.
    job.folder = /var datadirectory='([^']*)\/';/.exec(index)[1];
    job.table = masterColorTable(path.join(output, `${uid}-0001.tif`));
    // Ink coverage counted here from the page buffers, in percent.
    job.counted = [];
    for (let page = 1; !job.rendered && page <= job.pages; page++)
      job.counted.push(PLATES.map((plate) => {
        const { count, pixels } = inkedPixels(pgbinfo, path.join(pageBuffers, `${job.number}-${page}-${plate.file}.pgb`));
        return { name: plate.name, coverage: Number((count / pixels * 100).toFixed(2)) };
      }));
    // The Web task's ink data, beside the viewer page.
    const inksFile = path.join(output, uid, 'inks.js');
    job.inks = readInksFile(inksFile);
    fs.cpSync(path.join(output, uid), path.join(tavrin, job.folder), { recursive: true });
  }
  return jobs;
}

module.exports = { PLATES, inksAt, indexOf, prepareProgram, makeStationJobs };
