// Serves a folder on 127.0.0.1 as a plain static host would: node serve.mjs <folder> [port]
import {createServer} from 'node:http';
import {readFile} from 'node:fs/promises';
import {extname, join, normalize, resolve} from 'node:path';
import {pathToFileURL} from 'node:url';

const TYPES = {'.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
               '.png': 'image/png', '.webmanifest': 'application/manifest+json', '.txt': 'text/plain; charset=utf-8'};

// Resolves with the server once it listens; port 0 takes a free one.
export function serve(folder, port) {
  const root = resolve(folder);
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const file = normalize(join(root, path.endsWith('/') ? path + 'index.html' : path));
    try {
      if (!file.startsWith(root + '/')) throw new Error('outside the folder');
      const body = await readFile(file);
      response.writeHead(200, {'Content-Type': TYPES[extname(file)] || 'application/octet-stream'});
      response.end(body);
    } catch {
      response.writeHead(404, {'Content-Type': 'text/plain'});
      response.end('not found\n');
    }
  });
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => done(server));
  });
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
  const server = await serve(process.argv[2] || '.', Number(process.argv[3] || 8013));
  console.log(`serving ${resolve(process.argv[2] || '.')} at http://127.0.0.1:${server.address().port}/ (Ctrl+C stops)`);
}
