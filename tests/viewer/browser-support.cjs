// What the viewer's browser tests share: nginx serving a web root on
// 127.0.0.1 with Range requests (and a /norange/ alias that ignores them),
// PHP's built-in server for the answer endpoint, Debian's Chromium through
// playwright-core, named checks, and a wait for the viewer to finish drawing.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function waitForPort(port, what) {
  return new Promise((resolve, reject) => {
    const deadline = Date.now() + 10000;
    const attempt = () => {
      const socket = net.connect(port, '127.0.0.1', () => { socket.end(); resolve(); });
      socket.on('error', () => {
        if (Date.now() > deadline) reject(new Error(`${what} did not start`));
        else setTimeout(attempt, 100);
      });
    };
    attempt();
  });
}

// Starts nginx in folder temp; resolves with its process once it listens.
// With phpPort, PHP scripts are passed to PHP's built-in server there (it
// answers no Range requests itself, the tiles need them).
async function startNginx({ port, webRoot, accessLog, temp, phpPort }) {
  fs.mkdirSync(temp, { recursive: true });
  const config = path.join(temp, 'nginx.conf');
  fs.writeFileSync(config, `
daemon off;
worker_processes 1;
pid ${temp}/nginx.pid;
error_log ${temp}/error.log;
events { worker_connections 64; }
http {
  types { text/html html; application/javascript js; text/css css; image/png png; image/jpeg jpg; }
  default_type application/octet-stream;
  charset utf-8;
  log_format ranges '$request_uri $status "$http_range" $body_bytes_sent';
  access_log ${accessLog} ranges;
  client_body_temp_path ${temp}/body;
  proxy_temp_path ${temp}/proxy;
  fastcgi_temp_path ${temp}/fastcgi;
  uwsgi_temp_path ${temp}/uwsgi;
  scgi_temp_path ${temp}/scgi;
  server {
    listen 127.0.0.1:${port};
    root ${webRoot};
    location /norange/ { alias ${webRoot}/; max_ranges 0; }
    ${phpPort ? `location ~ \\.php$ { proxy_pass http://127.0.0.1:${phpPort}; }` : ''}
  }
}
`);
  const nginx = spawn('/usr/sbin/nginx', ['-p', temp, '-c', config, '-e', path.join(temp, 'error.log')],
                      { stdio: ['ignore', 'inherit', 'inherit'] });
  await waitForPort(port, 'nginx');
  return nginx;
}

// PHP's built-in server on the web root, with several workers so that
// answers sent together are handled together; resolves with its process,
// whose stop() ends the workers too (they form its process group).
async function startPhp({ port, webRoot, log }) {
  const php = spawn('php', ['-S', `127.0.0.1:${port}`, '-t', webRoot],
                    { stdio: ['ignore', fs.openSync(log, 'a'), fs.openSync(log, 'a')], detached: true,
                      env: { ...process.env, PHP_CLI_SERVER_WORKERS: '4' } });
  php.stop = () => {
    try {
      process.kill(-php.pid, 'SIGTERM');
    } catch (error) {
      // Already gone.
    }
  };
  await waitForPort(port, 'php -S');
  return php;
}

function launchChromium(chromium) {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
}

// Named checks in TAP style; failures() counts those that failed.
function checks() {
  let failed = 0;
  return {
    async check(name, body) {
      try {
        await body();
        console.log(`ok - ${name}`);
      } catch (error) {
        failed++;
        console.log(`not ok - ${name}\n${error.stack}`);
      }
    },
    fail() { failed++; },
    failures() { return failed; },
    // Runs the test's main, then cleanUp, and ends with the outcome: exit status 1 on any failure.
    run(main, cleanUp) {
      main().catch((error) => {
        failed++;
        console.log(`not ok - ${error.stack}`);
      }).finally(() => {
        cleanUp();
        console.log(failed ? `${failed} check(s) failed` : 'all checks passed');
        process.exitCode = failed ? 1 : 0;
      });
    },
  };
}

// In the page: true once every tile in view is drawn and nothing is on its way.
const tilesDrawn = () => {
  const viewer = window.TavrinViewer && TavrinViewer.instance;
  if (!viewer || !viewer.visibleKeys || viewer.drawPending || viewer.inFlight || viewer.queue.length) return false;
  return viewer.visibleKeys.size > 0 && [...viewer.visibleKeys].every((key) => viewer.bitmaps.has(key));
};

// Waits until every visible tile of the current view is drawn.
async function settled(page) {
  await page.waitForFunction(tilesDrawn, null, { timeout: 15000 });
  await page.waitForTimeout(100);
}

const viewerState = (page) => page.evaluate(() => {
  const viewer = TavrinViewer.instance;
  return { zoom: map.zoom, scale: viewer.scale, centerX: viewer.centerX, centerY: viewer.centerY,
           page: viewer.page, fitted: viewer.fitted };
});

module.exports = { freePort, startNginx, startPhp, launchChromium, checks, tilesDrawn, settled, viewerState };
