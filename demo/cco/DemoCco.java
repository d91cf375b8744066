package demo;

import com.sun.net.httpserver.HttpExchange;
import com.sun.net.httpserver.HttpServer;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.net.InetSocketAddress;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Properties;
import java.util.concurrent.CountDownLatch;

/**
 * A small stand-in of CCO for demonstrations and tests: it serves a
 * point-of-sale page on 127.0.0.1:9999, tells the launcher when its web
 * container is up, and stops on the page's "Stop" action (or a POST to
 * /stop) with CCO's stop line. A POST to /hang makes it stop answering
 * while it runs, as a hung CCO would.
 *
 * Usage: DemoCco INSTALLATION_DIR. The POS prefix is read from
 * config/pos.properties in the installation, where the restore tool writes it.
 * With DEMO_CCO_LOG_RATE set to a number of bytes per second it also logs
 * continuously at about that rate, like a busy CCO.
 */
public final class DemoCco {
    static final int PORT = 9999;

    public static void main(String[] args) throws Exception {
        PrintStream out = new PrintStream(System.out, true, StandardCharsets.UTF_8);
        Path installation = Path.of(args.length > 0 ? args[0] : ".").toAbsolutePath().normalize();
        String prefix = readPrefix(installation);
        out.println("Demo CCO starting");
        out.println("Installation: " + installation);
        out.println("Java runtime: " + System.getProperty("java.home") + " ("
                + System.getProperty("java.version") + ")");
        out.println("POS prefix: " + prefix);

        HttpServer server;
        try {
            server = HttpServer.create(new InetSocketAddress("127.0.0.1", PORT), 0);
        } catch (IOException e) {
            System.err.println("Cannot serve on 127.0.0.1:" + PORT + ": " + e.getMessage());
            System.exit(1);
            return;
        }
        CountDownLatch stop = new CountDownLatch(1);
        server.createContext("/", exchange -> page(exchange, prefix));
        server.createContext("/stop", exchange -> {
            if (!"POST".equals(exchange.getRequestMethod())) {
                respond(exchange, 405, "text/plain", "Use POST to stop.\n");
                return;
            }
            respond(exchange, 200, "text/html", "<html><body><h1>Stopping</h1></body></html>");
            stop.countDown();
        });
        // A CCO that hangs, for trying the launcher's watch: the one thread
        // that serves blocks for good, while the JVM still answers signals
        // (SIGQUIT prints a thread dump).
        server.createContext("/hang", exchange -> {
            respond(exchange, 200, "text/plain", "Hanging.\n");
            out.println("Demo CCO hangs now");
            try {
                new CountDownLatch(1).await();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        });
        // A line of CCO's output on request: "POST /note?TEXT" prints "Note: TEXT".
        server.createContext("/note", exchange -> {
            out.println("Note: " + exchange.getRequestURI().getQuery());
            respond(exchange, 200, "text/plain", "Noted.\n");
        });
        server.start();
        out.println("Web container started.");

        long rate = parseRate(System.getenv("DEMO_CCO_LOG_RATE"));
        if (rate > 0) {
            Thread logger = new Thread(() -> logContinuously(out, rate), "log");
            logger.setDaemon(true);
            logger.start();
        }

        stop.await();
        server.stop(0);
        out.println("STOP_CCO Bye");
        out.flush();
        System.exit(0);
    }

    static String readPrefix(Path installation) {
        Properties properties = new Properties();
        Path file = installation.resolve("config/pos.properties");
        if (Files.isRegularFile(file)) {
            try (InputStream in = Files.newInputStream(file)) {
                properties.load(in);
            } catch (IOException e) {
                System.err.println("Cannot read " + file + ": " + e.getMessage());
            }
        }
        return properties.getProperty("prefix", "unset");
    }

    static void page(HttpExchange exchange, String prefix) throws IOException {
        if (!"/".equals(exchange.getRequestURI().getPath())) {
            respond(exchange, 404, "text/plain", "Not found\n");
            return;
        }
        String html = "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Demo POS</title>"
                + "<style>body{margin:0;background:#1565c0;color:#fff;font-family:sans-serif}"
                + "h1{margin:24px;font-size:40px}p{margin:24px;font-size:28px}"
                + "form{position:fixed;left:0;right:0;bottom:0;height:45%}"
                + "button{width:100%;height:100%;font-size:48px;background:#c62828;color:#fff;"
                + "border:0}</style></head><body>"
                + "<h1>Demo POS</h1><p id='prefix'>POS " + escape(prefix) + "</p>"
                + "<form method='post' action='/stop'><button type='submit'>Stop</button></form>"
                + "<script>console.log('Demo POS page shown for " + escape(prefix)
                + "')</script></body></html>";
        respond(exchange, 200, "text/html; charset=utf-8", html);
    }

    static void respond(HttpExchange exchange, int status, String type, String body)
            throws IOException {
        byte[] bytes = body.getBytes(StandardCharsets.UTF_8);
        exchange.getResponseHeaders().set("Content-Type", type);
        exchange.getResponseHeaders().set("Cache-Control", "no-store");
        exchange.sendResponseHeaders(status, bytes.length);
        try (OutputStream body_ = exchange.getResponseBody()) {
            body_.write(bytes);
        }
    }

    static String escape(String text) {
        StringBuilder escaped = new StringBuilder();
        for (char c : text.toCharArray()) {
            switch (c) {
                case '<': escaped.append("&lt;"); break;
                case '>': escaped.append("&gt;"); break;
                case '&': escaped.append("&amp;"); break;
                case '\'': escaped.append("&#39;"); break;
                case '"': escaped.append("&quot;"); break;
                case '\\': escaped.append("&#92;"); break;
                default: escaped.append(c);
            }
        }
        return escaped.toString();
    }

    static long parseRate(String value) {
        try {
            return value == null ? 0 : Long.parseLong(value.trim());
        } catch (NumberFormatException e) {
            return 0;
        }
    }

    // Writes realistic log lines at about `bytesPerSecond`, in ten bursts a
    // second.
    static void logContinuously(PrintStream out, long bytesPerSecond) {
        long written = 0;
        long start = System.nanoTime();
        for (long n = 1; ; n++) {
            String line = String.format("%tT.%<tL INFO  [pos-%d] Receipt %d: 2 × Käsebrötchen à 1,80 €,"
                    + " 1 × Kaffee groß 2,90 €, total 6,50 € paid by card, terminal OK%n",
                    System.currentTimeMillis(), n % 4, n);
            out.print(line);
            written += line.getBytes(StandardCharsets.UTF_8).length;
            long due = (long) (written * 1e9 / bytesPerSecond);
            long ahead = due - (System.nanoTime() - start);
            if (ahead > 100_000_000L) {
                out.flush();
                try {
                    Thread.sleep(ahead / 1_000_000L);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }
    }
}
